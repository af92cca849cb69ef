#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The path as the menu shows it: whole up to 25 characters, otherwise "..." and a tail that starts
// at a separator and holds at most 26 characters (or the last separator and the whole file name
// when the name alone is longer). Characters are Unicode code points; "\" and "/" separate.
std::string displayText(std::string_view path);

// "&<index>   <display text>": the first digit is the access key, and an "&" of the path stays
// literal. Control characters and bidirectional formatting characters show as their code points
// ("[U+0009]", "[U+202E]"), so that no name can break the menu item or reorder how it reads.
std::string entryCaption(std::int16_t index, std::string_view path);
