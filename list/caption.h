#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The path as the menu shows it: whole up to 25 characters, otherwise "..." and a tail that starts
// at a separator and holds at most 26 characters (or the last separator and the whole file name
// when the name alone is longer). Characters are Unicode code points; "\" and "/" separate.
std::string displayText(std::string_view path);

// "&<index>   <display text>": the first digit is the access key, and an "&" of the path stays
// literal. Every character that would not show as itself (controls, format characters such as
// zero-width spaces and bidirectional overrides, line and paragraph separators, and whatever else
// is ignored by default) shows as its code point ("[U+0009]", "[U+200B]"), so that no name can
// hide a character, break the menu item or reorder how it reads.
std::string entryCaption(std::int16_t index, std::string_view path);
