#pragma once

#include <optional>
#include <string>

// A modal file-open dialog.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // The chosen file's path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseFileToOpen() = 0;
};
