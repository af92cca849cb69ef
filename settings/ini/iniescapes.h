#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// How QSettings writes section names, keys and string values in its INI text, for the writing and
// the reading alike: a line is read only where writing what was read gives the line back. The
// escapes work on UTF-16, as QSettings keeps its text and orders its keys.
namespace ini {

// The characters QSettings writes as a backslash and a letter.
constexpr std::array<std::pair<char16_t, char>, 9> namedEscapes{
    {{u'\a', 'a'}, {u'\b', 'b'}, {u'\f', 'f'}, {u'\n', 'n'}, {u'\r', 'r'}, {u'\t', 't'},
        {u'\v', 'v'}, {u'"', '"'}, {u'\\', '\\'}}};

// The value of a hexadecimal digit, or -1.
int hexValue(char16_t c);

// UTF-8 to UTF-16, each invalid sequence as U+FFFD, as QString::fromUtf8 decodes it; with
// exact, nothing where a sequence is invalid.
std::optional<std::u16string> utf16(std::string_view bytes, bool exact = false);
// UTF-16 to UTF-8; nothing where a surrogate is alone.
std::optional<std::string> utf8(std::u16string_view text);

// "[General]" for the keys outside any section.
std::string sectionHeader(std::u16string_view section);
std::string escapedKey(std::u16string_view key);
std::string escapedValue(std::u16string_view value);

} // namespace ini
