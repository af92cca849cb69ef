#pragma once

#include <string>
#include <string_view>
#include <unicode/umachine.h>

// What the codec's reading and writing share. QSettings keeps keys and values as UTF-16 and
// orders sections and keys by their UTF-16 code units, so the codec works in UTF-16 between the
// UTF-8 of the file and of the values.
namespace ini::text {

constexpr char16_t replacementCharacter = u'\uFFFD';
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Decodes UTF-8, each invalid sequence as U+FFFD; returns whether there was none.
bool appendDecoded(std::u16string& out, std::string_view bytes);
std::u16string decoded(std::string_view bytes);
// Returns whether the text had no lone surrogate, which UTF-8 cannot hold.
bool toUtf8(std::u16string_view text, std::string& out);
void appendUtf8(std::string& out, UChar32 code);

// The value of a hexadecimal digit, or -1.
int hexValue(char c);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace ini::text
