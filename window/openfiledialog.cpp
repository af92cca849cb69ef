#include "window/openfiledialog.h"

#include <QFileDialog>

OpenFileDialog::OpenFileDialog(QWidget* parent)
    : parent(parent)
{
}

std::optional<std::string> OpenFileDialog::chooseFileToOpen()
{
    // Qt's own dialog, not the desktop's: the desktop's dialogs keep the folders the user browsed
    // in files of their own.
    const QString chosen = QFileDialog::getOpenFileName(
        parent, {}, {}, {}, nullptr, QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}
