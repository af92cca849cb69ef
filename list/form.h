#pragma once

#include <cstdint>
#include <string>

class TextBox {
public:
    virtual ~TextBox() = default;

    // Lines end in CR LF, whatever the widget uses.
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    // What setText(text() + more) does, at a cost that does not grow with the text already there.
    virtual void appendText(const std::string& more) = 0;
};

class MenuItem {
public:
    virtual ~MenuItem() = default;

    virtual void setVisible(bool visible) = 0;
};

// Menu entries addressed by index from 1. Entry 1 always exists; the others are loaded and
// unloaded one index at a time. Addressing an entry that does not exist throws std::out_of_range.
class MenuEntryArray {
public:
    virtual ~MenuEntryArray() = default;

    virtual std::int16_t count() const = 0;
    virtual std::string tag(std::int16_t index) const = 0;
    virtual void setTag(std::int16_t index, const std::string& tag) = 0;
    virtual void setCaption(std::int16_t index, const std::string& caption) = 0;
    virtual void setVisible(std::int16_t index, bool visible) = 0;
    // A loaded entry is visible, with an empty tag and caption.
    virtual void load(std::int16_t index) = 0;
    virtual void unload(std::int16_t index) = 0;
};

// The members of the main window that the recent-files list works through.
class Form {
public:
    virtual ~Form() = default;

    virtual MenuEntryArray& mnuHIX() = 0;
    virtual MenuItem& mnuBar1() = 0;
    virtual TextBox& Text1() = 0;
    virtual TextBox& maxHixTxt() = 0;
};
