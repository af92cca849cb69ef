#include "list/caption.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr std::size_t shownWhole = 25;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool isBidiControl(char32_t codePoint)
{
    return codePoint == 0x061C || codePoint == 0x200E || codePoint == 0x200F
        || (codePoint >= 0x202A && codePoint <= 0x202E)
        || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

// The bidirectional formatting character (a mark, embedding, override or isolate) that the text
// starts with, and its length in UTF-8; all of them take two bytes (U+061C) or three (U+20xx).
std::optional<std::pair<char32_t, std::size_t>> leadingBidiControl(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.size() >= 2 && byte(0) == 0xD8 && byte(1) == 0x9C)
        return std::pair(U'\u061C', 2);
    if (text.size() >= 3 && byte(0) == 0xE2 && (byte(1) & 0xFE) == 0x80
        && isContinuationByte(text[2])) {
        const char32_t codePoint = 0x2000 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        if (isBidiControl(codePoint))
            return std::pair(codePoint, 3);
    }
    return std::nullopt;
}

void appendCodePoint(std::string& caption, char32_t codePoint)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    caption += "[U+";
    for (int shift = 12; shift >= 0; shift -= 4)
        caption += hex[(codePoint >> shift) & 0xF];
    caption += ']';
}

// What a menu would not show as written, as its code point ("[U+0009]"): a control character (a
// tab starts the shortcut column, a line feed a second line) or a bidirectional formatting
// character, which could reorder the rest of the caption to disguise a name. Code points, not
// control pictures, because common menu fonts have no glyphs for those.
std::size_t appendVisible(std::string& caption, std::string_view text)
{
    const unsigned char first = static_cast<unsigned char>(text.front());
    if (first < 0x20 || first == 0x7F) {
        appendCodePoint(caption, first);
        return 1;
    }
    if (const auto bidi = leadingBidiControl(text)) {
        appendCodePoint(caption, bidi->first);
        return bidi->second;
    }
    if (first == '&')
        caption += '&';
    caption += static_cast<char>(first);
    return 1;
}

} // namespace

std::string displayText(std::string_view path)
{
    const auto length
        = std::count_if(path.begin(), path.end(), [](char c) { return !isContinuationByte(c); });
    if (static_cast<std::size_t>(length) <= shownWhole)
        return std::string(path);

    std::size_t charactersAfter = 0;
    std::optional<std::size_t> tailStart;
    for (std::size_t byte = path.size(); byte-- > 0;) {
        if (isContinuationByte(path[byte]))
            continue;
        if (isSeparator(path[byte])) {
            if (charactersAfter > shownWhole)
                return "..." + std::string(path.substr(tailStart.value_or(byte)));
            tailStart = byte;
        }
        ++charactersAfter;
    }
    return std::string(path);
}

std::string entryCaption(std::int16_t index, std::string_view path)
{
    std::string caption = "&" + std::to_string(index) + "   ";
    const std::string shown = displayText(path);
    for (std::string_view rest = shown; !rest.empty();)
        rest.remove_prefix(appendVisible(caption, rest));
    return caption;
}
