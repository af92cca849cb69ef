#include "textboxes.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

LineEditTextBox::LineEditTextBox(QLineEdit* edit)
    : edit(edit)
{
}

std::string LineEditTextBox::text() const
{
    return edit->text().toStdString();
}

void LineEditTextBox::setText(const std::string& text)
{
    edit->setText(QString::fromStdString(text));
}

PlainTextEditTextBox::PlainTextEditTextBox(QPlainTextEdit* edit)
    : edit(edit)
{
}

std::string PlainTextEditTextBox::text() const
{
    return edit->toPlainText().replace(u'\n', QStringLiteral("\r\n")).toStdString();
}

void PlainTextEditTextBox::setText(const std::string& text)
{
    const QString lines
        = QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QString current = edit->toPlainText();
    // Appending, rather than replacing, leaves the user's cursor where it was and scrolls to the
    // new line instead of back to the top.
    if (lines.startsWith(current)) {
        QTextCursor end(edit->document());
        end.movePosition(QTextCursor::End);
        end.insertText(lines.sliced(current.size()));
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    } else {
        edit->setPlainText(lines);
    }
}
