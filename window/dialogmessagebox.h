#pragma once

#include "list/messagebox.h"

class QWidget;

// Message boxes shown as QMessageBox, modal to the parent window.
class DialogMessageBox final : public MessageBox {
public:
    explicit DialogMessageBox(QWidget* parent);

    void show(const std::string& prompt, const std::optional<std::string>& title) override;
    void showError(const std::string& text) override;
    void showNotice(const std::string& text) override;

private:
    QWidget* parent;
};
