#pragma once

#include "list/messagebox.h"

#include <QString>

class QWidget;

// Message boxes shown as QMessageBox, modal to the parent window, titled with the program's name
// as the desktop shows it unless they are given a title of their own.
class DialogMessageBox final : public MessageBox {
public:
    DialogMessageBox(QWidget* parent, QString programTitle);

    void show(const std::string& prompt, const std::optional<std::string>& title) override;
    void showError(const std::string& text) override;
    void showNotice(const std::string& text) override;

private:
    QWidget* parent;
    QString programTitle;
};
