#include "window/openfiledialog.h"

#include <QFileDialog>

OpenFileDialog::OpenFileDialog(QWidget* parent)
    : parent(parent)
{
}

std::optional<std::string> OpenFileDialog::chooseFileToOpen()
{
    const QString chosen = QFileDialog::getOpenFileName(parent);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}
