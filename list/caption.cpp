#include "list/caption.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <vector>

namespace {

constexpr std::size_t shownWhole = 25;

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// Where each character of the text starts. A malformed sequence counts as the one replacement
// character a menu shows for it.
std::vector<std::size_t> characterStarts(std::string_view text)
{
    std::vector<std::size_t> starts;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t offset = 0; offset < length;) {
        starts.push_back(static_cast<std::size_t>(offset));
        [[maybe_unused]] UChar32 character;
        U8_NEXT(bytes, offset, length, character);
    }
    return starts;
}

// What a menu would not show as itself: a control character (a tab starts the shortcut column, a
// line feed a second line), a line or paragraph separator, a format character (zero-width
// characters, joiners, bidirectional marks, embeddings, overrides and isolates, which can also
// reorder the rest of the caption) and any other character that is ignored by default.
bool hidesOrBreaks(UChar32 character)
{
    // Of ASCII only the controls do, which needs no lookup for the common case.
    if (character < 0x80)
        return character < 0x20 || character == 0x7F;
    switch (u_charType(character)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
        return true;
    default:
        return u_hasBinaryProperty(character, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
    }
}

// The path shortened to the separator that leaves at most 26 characters after it; startOf(n) is
// where character n of the path starts.
template<typename StartOf>
std::string shortened(std::string_view path, std::size_t characters, StartOf startOf)
{
    if (characters <= shownWhole)
        return std::string(path);

    std::optional<std::size_t> tailStart;
    for (std::size_t character = characters, charactersAfter = 0; character-- > 0;
         ++charactersAfter) {
        const std::size_t start = startOf(character);
        if (!isSeparator(path[start]))
            continue;
        if (charactersAfter > shownWhole)
            return "..." + std::string(path.substr(tailStart.value_or(start)));
        tailStart = start;
    }
    return std::string(path);
}

} // namespace

std::string displayText(std::string_view path)
{
    if (isAscii(path))
        return shortened(path, path.size(), [](std::size_t character) { return character; });
    const std::vector<std::size_t> starts = characterStarts(path);
    return shortened(
        path, starts.size(), [&starts](std::size_t character) { return starts[character]; });
}

std::string entryCaption(std::int16_t index, std::string_view path)
{
    std::string caption = "&" + std::to_string(index) + "   ";
    const std::string shown = displayText(path);
    // Most paths are printable ASCII without an "&", which shows as it is.
    if (std::all_of(
            shown.begin(), shown.end(), [](char c) { return c >= ' ' && c < 0x7F && c != '&'; }))
        return caption + shown;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(shown.data());
    const auto length = static_cast<std::int32_t>(shown.size());
    for (std::int32_t offset = 0; offset < length;) {
        const std::int32_t start = offset;
        UChar32 character;
        U8_NEXT(bytes, offset, length, character);
        if (character >= 0 && hidesOrBreaks(character)) {
            // Code points, not control pictures: common menu fonts have no glyphs for those.
            char codePoint[16];
            std::snprintf(codePoint, sizeof codePoint, "[U+%04X]", unsigned(character));
            caption += codePoint;
        } else {
            if (character == '&')
                caption += '&';
            caption.append(shown, std::size_t(start), std::size_t(offset - start));
        }
    }
    return caption;
}
