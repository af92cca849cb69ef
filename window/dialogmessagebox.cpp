#include "window/dialogmessagebox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

void showModal(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

DialogMessageBox::DialogMessageBox(QWidget* parent)
    : parent(parent)
{
}

void DialogMessageBox::show(const std::string& prompt, const std::optional<std::string>& title)
{
    const QString caption
        = title ? QString::fromStdString(*title) : QCoreApplication::applicationName();
    showModal(parent, QMessageBox::NoIcon, caption, QString::fromStdString(prompt));
}

void DialogMessageBox::showError(const std::string& text)
{
    showModal(parent, QMessageBox::Warning, QCoreApplication::applicationName(),
        QString::fromStdString(text));
}

void DialogMessageBox::showNotice(const std::string& text)
{
    showModal(parent, QMessageBox::Information, QCoreApplication::applicationName(),
        QString::fromStdString(text));
}
