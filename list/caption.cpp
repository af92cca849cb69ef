#include "caption.h"

#include <algorithm>
#include <optional>

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
    for (const char c : displayText(path)) {
        if (c == '&')
            caption += '&';
        caption += c;
    }
    return caption;
}
