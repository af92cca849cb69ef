#pragma once

#include <optional>
#include <string>

// A modal message box with a single OK button; returns once the user has closed it.
class MessageBox {
public:
    virtual ~MessageBox() = default;

    // Without a title the box carries the application's name.
    virtual void show(const std::string& prompt, const std::optional<std::string>& title = {}) = 0;
    // Tells the user that something went wrong and what.
    virtual void showError(const std::string& text) = 0;
    // Tells the user something worth knowing.
    virtual void showNotice(const std::string& text) = 0;
};
