#pragma once

#include "list/form.h"

class QLineEdit;
class QPlainTextEdit;

class LineEditTextBox final : public TextBox {
public:
    explicit LineEditTextBox(QLineEdit* edit);

    std::string text() const override;
    void setText(const std::string& text) override;
    void appendText(const std::string& more) override;

private:
    QLineEdit* edit;
};

// A multi-line box whose CR LF line ends become the widget's own line breaks.
class PlainTextEditTextBox final : public TextBox {
public:
    explicit PlainTextEditTextBox(QPlainTextEdit* edit);

    std::string text() const override;
    void setText(const std::string& text) override;
    void appendText(const std::string& more) override;

private:
    QPlainTextEdit* edit;
};
