#include "window/dialogmessagebox.h"

#include "window/terminationsignals.h"

#include <QMessageBox>
#include <utility>

namespace {

// Over the window where it shows, over the screen's middle while it does not yet; none once the
// program is asked to end.
void showModal(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    if (TerminationSignals::ending())
        return;
    QMessageBox box(
        icon, title, text, QMessageBox::Ok, parent && parent->isVisible() ? parent : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

DialogMessageBox::DialogMessageBox(QWidget* parent, QString programTitle)
    : parent(parent)
    , programTitle(std::move(programTitle))
{
}

void DialogMessageBox::show(const std::string& prompt, const std::optional<std::string>& title)
{
    showModal(parent, QMessageBox::NoIcon, title ? QString::fromStdString(*title) : programTitle,
        QString::fromStdString(prompt));
}

void DialogMessageBox::showError(const std::string& text)
{
    showModal(parent, QMessageBox::Warning, programTitle, QString::fromStdString(text));
}

void DialogMessageBox::showNotice(const std::string& text)
{
    showModal(parent, QMessageBox::Information, programTitle, QString::fromStdString(text));
}
