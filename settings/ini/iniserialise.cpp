#include "settings/ini/inicodec.h"
#include "settings/ini/initext.h"

#include <unicode/utf16.h>

namespace ini {
namespace {

using namespace text;

char hexDigit(unsigned value, bool upper)
{
    return "0123456789abcdef0123456789ABCDEF"[(value & 0xF) + (upper ? 16 : 0)];
}

void appendEscapedKey(std::string& out, std::u16string_view key)
{
    for (const char16_t unit : key) {
        if (unit == u'/') {
            out += '\\';
        } else if ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z')
            || (unit >= u'0' && unit <= u'9') || unit == u'_' || unit == u'-' || unit == u'.') {
            out += char(unit);
        } else if (unit <= 0xFF) {
            out += '%';
            out += hexDigit(unit >> 4, true);
            out += hexDigit(unit, true);
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hexDigit(unit >> shift, true);
        }
    }
}

void appendLowerHex(std::string& out, UChar32 code)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), hexDigit(unsigned(code), false));
        code >>= 4;
    } while (code != 0);
    out += digits;
}

bool isHexDigit(UChar32 code)
{
    return code < 0x80 && hexValue(char(code)) >= 0;
}

const char* namedEscape(UChar32 code)
{
    switch (code) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case '\v':
        return "\\v";
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

void appendEscapedValue(std::string& out, std::u16string_view value)
{
    const std::size_t start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    bool writtenAsText = false;
    for (std::int32_t i = 0; i < std::int32_t(value.size());) {
        UChar32 code = 0;
        U16_NEXT_OR_FFFD(value.data(), i, std::int32_t(value.size()), code);
        needsQuotes = needsQuotes || code == ';' || code == ',' || code == '=';
        if (escapeNextIfDigit && isHexDigit(code)) {
            out += "\\x";
            appendLowerHex(out, code);
            continue;
        }
        escapeNextIfDigit = false;
        if (code == 0) {
            out += "\\0";
            escapeNextIfDigit = true;
        } else if (const char* escape = namedEscape(code)) {
            out += escape;
        } else if (code <= 0x1F || (code == 0xFEFF && !writtenAsText)) {
            // QSettings would write a byte-order mark that starts the text of a value as it is,
            // and drop it when it reads the value again.
            out += "\\x";
            appendLowerHex(out, code);
            escapeNextIfDigit = true;
        } else {
            appendUtf8(out, code);
            writtenAsText = true;
        }
    }
    if (needsQuotes || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, 1, '"');
        out += '"';
    }
}

// How QSettings writes a string: one with NUL characters as "@String(...)", one that starts
// with "@" with a second "@".
std::u16string typed(std::u16string value)
{
    if (value.find(u'\0') != std::u16string::npos)
        return u"@String(" + value + u")";
    if (!value.empty() && value.front() == u'@')
        return u'@' + value;
    return value;
}

} // namespace

std::string serialise(const Values& values)
{
    // Ordered as QSettings orders them: by UTF-16 code units, which std::u16string compares.
    std::map<std::u16string, std::map<std::u16string, std::u16string>> sections;
    for (const auto& [key, value] : values) {
        const std::u16string fullKey = decoded(key);
        const std::size_t slash = fullKey.find(u'/');
        const bool inSection = slash != std::u16string::npos;
        sections[inSection ? fullKey.substr(0, slash) : std::u16string()]
                [inSection ? fullKey.substr(slash + 1) : fullKey]
            = decoded(value);
    }
    std::string out;
    for (const auto& [section, keys] : sections) {
        if (!out.empty())
            out += '\n';
        std::string name;
        appendEscapedKey(name, section);
        if (name.empty())
            out += "[General]";
        else if (equalsIgnoringCase(name, "general"))
            out += "[%General]";
        else
            out += '[' + name + ']';
        out += '\n';
        for (const auto& [key, value] : keys) {
            appendEscapedKey(out, key);
            out += '=';
            appendEscapedValue(out, typed(value));
            out += '\n';
        }
    }
    return out;
}
} // namespace ini
