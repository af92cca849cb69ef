#include "caption.h"

#include <algorithm>
#include <array>
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

// The UTF-8 of the bidirectional formatting characters: marks, embeddings, overrides, isolates.
constexpr std::array<std::pair<std::string_view, std::string_view>, 12> bidiControls{{
    {"\u061C", "[U+061C]"},
    {"\u200E", "[U+200E]"},
    {"\u200F", "[U+200F]"},
    {"\u202A", "[U+202A]"},
    {"\u202B", "[U+202B]"},
    {"\u202C", "[U+202C]"},
    {"\u202D", "[U+202D]"},
    {"\u202E", "[U+202E]"},
    {"\u2066", "[U+2066]"},
    {"\u2067", "[U+2067]"},
    {"\u2068", "[U+2068]"},
    {"\u2069", "[U+2069]"},
}};

// What a menu would not show as written, as its code point ("[U+0009]"): a control character (a
// tab starts the shortcut column, a line feed a second line) or a bidirectional formatting
// character, which could reorder the rest of the caption to disguise a name. Code points, not
// control pictures, because common menu fonts have no glyphs for those.
std::size_t appendVisible(std::string& caption, std::string_view text)
{
    const unsigned char first = static_cast<unsigned char>(text.front());
    if (first < 0x20 || first == 0x7F) {
        static constexpr char hex[] = "0123456789ABCDEF";
        caption += "[U+00";
        caption += hex[first >> 4];
        caption += hex[first & 0xF];
        caption += ']';
        return 1;
    }
    for (const auto& [control, shown] : bidiControls) {
        if (text.starts_with(control)) {
            caption += shown;
            return control.size();
        }
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
