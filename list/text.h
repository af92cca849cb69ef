#pragma once

#include <string_view>

// Blanks as a typed maximum and a settings file's lines may have them around their text.
inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}
