#include "settings/ini/iniescapes.h"

#include <algorithm>
#include <cstdio>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace ini {

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if ((c | 0x20) >= u'a' && (c | 0x20) <= u'f')
        return (c | 0x20) - u'a' + 10;
    return -1;
}

namespace {

// ASCII, the common case, is the same in UTF-8 and UTF-16 and needs no conversion.
template<typename Unit>
bool isAscii(std::basic_string_view<Unit> text)
{
    return std::all_of(
        text.begin(), text.end(), [](Unit unit) { return (unit & ~Unit(0x7F)) == 0; });
}

} // namespace

std::optional<std::u16string> utf16(std::string_view bytes, bool exact)
{
    if (isAscii(bytes))
        return std::u16string(bytes.begin(), bytes.end());
    // UTF-16 takes no more code units than UTF-8 takes bytes.
    std::u16string text(bytes.size(), u'\0');
    std::int32_t length = 0;
    std::int32_t substitutions = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(text.data(), std::int32_t(text.size()), &length, bytes.data(),
        std::int32_t(bytes.size()), 0xFFFD, &substitutions, &status);
    if (U_FAILURE(status) || (exact && substitutions > 0))
        return std::nullopt;
    text.resize(std::size_t(length));
    return text;
}

std::optional<std::string> utf8(std::u16string_view text)
{
    if (isAscii(text))
        return std::string(text.begin(), text.end());
    std::string bytes(3 * text.size(), '\0');
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(bytes.data(), std::int32_t(bytes.size()), &length, text.data(),
        std::int32_t(text.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    bytes.resize(std::size_t(length));
    return bytes;
}

std::string sectionHeader(std::u16string_view section)
{
    const std::string name = escapedKey(section);
    if (name.empty())
        return "[General]";
    // QSettings would take a section of that name, in any case, for the keys outside any.
    if (std::ranges::equal(
            name, std::string_view("general"), [](char a, char b) { return (a | 0x20) == b; }))
        return "[%General]";
    return '[' + name + ']';
}

std::string escapedKey(std::u16string_view key)
{
    std::string out;
    for (const char16_t unit : key) {
        if (unit == u'/') {
            out += '\\';
        } else if ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z')
            || (unit >= u'0' && unit <= u'9') || unit == u'_' || unit == u'-' || unit == u'.') {
            out += char(unit);
        } else {
            char escape[8];
            out.append(escape,
                std::size_t(std::snprintf(
                    escape, sizeof escape, unit <= 0xFF ? "%%%02X" : "%%U%04X", unsigned(unit))));
        }
    }
    return out;
}

std::string escapedValue(std::u16string_view value)
{
    // How QSettings writes a string: one with NUL characters as "@String(...)", one that starts
    // with "@" with a second "@".
    std::u16string text(value);
    if (text.find(u'\0') != std::u16string::npos)
        text = u"@String(" + text + u")";
    else if (text.starts_with(u'@'))
        text.insert(0, 1, u'@');
    const auto appendHex = [](std::string& out, UChar32 code) {
        char escape[16];
        out.append(
            escape, std::size_t(std::snprintf(escape, sizeof escape, "\\x%x", unsigned(code))));
    };
    std::string out;
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    bool writtenAsText = false;
    for (std::int32_t i = 0; i < std::int32_t(text.size());) {
        UChar32 code = 0;
        U16_NEXT_OR_FFFD(text.data(), i, std::int32_t(text.size()), code);
        needsQuotes = needsQuotes || code == ';' || code == ',' || code == '=';
        if (escapeNextIfDigit && code < 0x80 && hexValue(char16_t(code)) >= 0) {
            appendHex(out, code);
            continue;
        }
        escapeNextIfDigit = false;
        const auto named
            = std::ranges::find(namedEscapes, char16_t(code), &std::pair<char16_t, char>::first);
        if (code == 0) {
            out += "\\0";
            escapeNextIfDigit = true;
        } else if (named != namedEscapes.end() && code <= 0xFFFF) {
            out += '\\';
            out += named->second;
        } else if (code <= 0x1F || (code == 0xFEFF && !writtenAsText)) {
            // QSettings would write a byte-order mark that starts the text of a value as it is,
            // and drop it when it reads the value again.
            appendHex(out, code);
            escapeNextIfDigit = true;
        } else {
            char bytes[U8_MAX_LENGTH];
            std::int32_t length = 0;
            U8_APPEND_UNSAFE(bytes, length, code);
            out.append(bytes, std::size_t(length));
            writtenAsText = true;
        }
    }
    if (needsQuotes || out.starts_with(' ') || out.ends_with(' '))
        return '"' + out + '"';
    return out;
}

} // namespace ini
