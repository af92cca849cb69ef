#pragma once

#include "window/filedialog.h"

class QWidget;

class OpenFileDialog final : public FileDialog {
public:
    explicit OpenFileDialog(QWidget* parent);

    std::optional<std::string> chooseFileToOpen() override;

private:
    QWidget* parent;
};
