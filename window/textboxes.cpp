#include "window/textboxes.h"

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

void LineEditTextBox::appendText(const std::string& more)
{
    edit->setText(edit->text() + QString::fromStdString(more));
}

namespace {

QString withLineBreaks(const std::string& text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

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
    edit->setPlainText(withLineBreaks(text));
}

void PlainTextEditTextBox::appendText(const std::string& more)
{
    // The user's cursor stays where it is, and the view scrolls to the new line.
    QTextCursor end(edit->document());
    end.movePosition(QTextCursor::End);
    end.insertText(withLineBreaks(more));
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}
