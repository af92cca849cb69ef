#include "settings/ini/initext.h"

#include <algorithm>
#include <cstdint>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace ini::text {

bool appendDecoded(std::u16string& out, std::string_view bytes)
{
    const std::size_t start = out.size();
    // UTF-16 takes no more code units than UTF-8 takes bytes.
    out.resize(start + bytes.size());
    std::int32_t length = 0;
    std::int32_t substitutions = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data() + start, std::int32_t(bytes.size()), &length, bytes.data(),
        std::int32_t(bytes.size()), replacementCharacter, &substitutions, &status);
    out.resize(start + std::size_t(length));
    return U_SUCCESS(status) && substitutions == 0;
}

std::u16string decoded(std::string_view bytes)
{
    std::u16string out;
    appendDecoded(out, bytes);
    return out;
}

bool toUtf8(std::u16string_view text, std::string& out)
{
    // Sized for text that is mostly ASCII, and again when it is not.
    out.resize(text.size());
    for (;;) {
        std::int32_t length = 0;
        std::int32_t substitutions = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strToUTF8WithSub(out.data(), std::int32_t(out.size()), &length, text.data(),
            std::int32_t(text.size()), replacementCharacter, &substitutions, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(std::size_t(length));
            continue;
        }
        out.resize(std::size_t(length));
        return U_SUCCESS(status) && substitutions == 0;
    }
}

void appendUtf8(std::string& out, UChar32 code)
{
    char bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, code);
    out.append(bytes, std::size_t(length));
}
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        return lower(x) == lower(y);
    });
}
} // namespace ini::text
