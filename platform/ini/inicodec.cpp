#include "platform/ini/inicodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

// QSettings keeps keys and values as UTF-16 and orders sections and keys by their UTF-16 code
// units, so the codec works in UTF-16 between the UTF-8 of the file and of the values.
namespace ini {
namespace {

constexpr char16_t replacementCharacter = u'\uFFFD';
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Decodes UTF-8 as Qt does where it is valid; an invalid byte becomes U+FFFD. Returns whether
// every byte was valid.
bool appendDecoded(std::u16string& out, std::string_view bytes)
{
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += char16_t(lead);
            ++i;
            continue;
        }
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        char32_t code = lead & (0x7F >> length);
        bool complete = length > 0 && lead <= 0xF4 && i + std::size_t(length) <= bytes.size();
        for (int k = 1; complete && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            complete = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least = length == 4 ? 0x10000 : length == 3 ? 0x800 : 0x80;
        if (!complete || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out += replacementCharacter;
            valid = false;
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += char16_t(0xD800 + ((code - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += char16_t(code);
        }
        i += std::size_t(length);
    }
    return valid;
}

std::u16string decoded(std::string_view bytes)
{
    std::u16string out;
    appendDecoded(out, bytes);
    return out;
}

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Calls visit with each code point; a lone surrogate visits as U+FFFD. Returns whether there
// was none.
template<typename Visit>
bool forEachCodePoint(std::u16string_view text, Visit visit)
{
    bool whole = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            code = replacementCharacter;
            whole = false;
        }
        visit(code);
    }
    return whole;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Returns whether the text had no lone surrogate, which UTF-8 cannot hold.
bool toUtf8(std::u16string_view text, std::string& out)
{
    out.clear();
    return forEachCodePoint(text, [&](char32_t code) { appendUtf8(out, code); });
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What QByteArray::trimmed() takes for white space.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
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

// One logical line as QSettings splits the text: blank space before it is skipped, a ";" at its
// start makes a comment, a quoted part runs on over line ends, and an unquoted ";" ends it.
struct Line {
    std::size_t start = 0;
    std::string_view text;
    std::optional<std::size_t> equals;
    bool cutByComment = false;
};

bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isLineSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

bool readLine(std::string_view data, std::size_t& position, Line& line)
{
    std::size_t start = position;
    while (start < data.size() && isLineSpace(data[start]))
        ++start;
    std::optional<std::size_t> equals;
    bool inQuotes = false;
    std::size_t i = start;
    while (i < data.size()) {
        while (i < data.size() && !isLineSpecial(data[i]))
            ++i;
        if (i == data.size())
            break;
        const char c = data[i++];
        if (c == '=') {
            if (!inQuotes && !equals)
                equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < data.size()) {
                const char escaped = data[i++];
                if (i < data.size()) {
                    const char next = data[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (i == start + 1) {
            while (i < data.size() && data[i] != '\n' && data[i] != '\r')
                ++i;
            while (i < data.size() && isLineSpace(data[i]))
                ++i;
            start = i;
        } else if (!inQuotes) {
            --i;
            break;
        }
    }
    position = i;
    line.start = start;
    line.text = data.substr(start, i - start);
    line.equals = equals ? std::optional(*equals - start) : std::nullopt;
    line.cutByComment = i < data.size() && data[i] == ';';
    return !line.text.empty();
}

// A key or section name: "%XX" and "%UXXXX" escape code units, "\" stands for "/". Sets
// misread where QSettings would read an escape differently than it is written.
std::u16string unescapedKey(std::string_view escaped, bool& misread)
{
    // QSettings decodes keys with QString::fromUtf8, which drops a leading byte-order mark.
    if (escaped.starts_with(byteOrderMark)) {
        misread = true;
        escaped.remove_prefix(byteOrderMark.size());
    }
    const std::u16string text = decoded(escaped);
    std::u16string key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            key += u'/';
            continue;
        }
        if (text[i] != u'%') {
            key += text[i];
            continue;
        }
        const bool wide = i + 1 < text.size() && text[i + 1] == u'U';
        const std::size_t first = i + (wide ? 2 : 1);
        const std::size_t digits = wide ? 4 : 2;
        char16_t unit = 0;
        bool hex = first + digits <= text.size();
        for (std::size_t k = 0; hex && k < digits; ++k) {
            const char16_t digit = text[first + k];
            const int value = digit < 0x80 ? hexValue(char(digit)) : -1;
            hex = value >= 0;
            unit = char16_t(unit * 16 + value);
        }
        if (!hex) {
            key += u'%';
            misread = true;
            continue;
        }
        key += unit;
        i = first + digits - 1;
    }
    return key;
}

void chopTrailingBlanks(std::u16string& text, std::size_t limit)
{
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t'))
        text.pop_back();
}

// A value after its "=", read as QSettings reads it: a quoted part keeps blanks, commas and
// semicolons; C escapes; unquoted commas separate the items of a list. Sets misread wherever
// the text is not what QSettings itself writes for a string: an escape it drops, a line
// continuation, quotes that do not enclose the whole value, a list.
std::u16string unescapedValue(std::string_view text, bool& misread)
{
    std::u16string value;
    std::vector<std::u16string> items;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    int quotes = 0;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    const std::size_t valueStart = i;
    std::size_t chopLimit = 0;
    bool chopAtEnd = true;
    bool decodedAny = false;

    const auto numericEscape = [&](int base) {
        char16_t unit = 0;
        while (i < text.size()) {
            const int digit = hexValue(text[i]);
            if (digit < 0 || digit >= base)
                break;
            unit = char16_t(unit * base + digit);
            ++i;
        }
        value += unit;
        if (i == text.size())
            chopAtEnd = false;
    };

    chopLimit = value.size();
    while (i < text.size() && chopAtEnd) {
        const char c = text[i];
        if (c == '\\') {
            ++i;
            if (i == text.size()) {
                misread = true;
                chopAtEnd = false;
                break;
            }
            static constexpr std::array<std::pair<char, char16_t>, 11> named{
                {{'a', u'\a'}, {'b', u'\b'}, {'f', u'\f'}, {'n', u'\n'}, {'r', u'\r'}, {'t', u'\t'},
                    {'v', u'\v'}, {'"', u'"'}, {'?', u'?'}, {'\'', u'\''}, {'\\', u'\\'}}};
            const char escaped = text[i++];
            const auto found = std::ranges::find(named, escaped, &std::pair<char, char16_t>::first);
            if (found != named.end()) {
                value += found->second;
            } else if (escaped == 'x' && i < text.size() && hexValue(text[i]) >= 0) {
                numericEscape(16);
            } else if (escaped >= '0' && escaped <= '7') {
                --i;
                numericEscape(8);
            } else if (escaped == 'x' && i == text.size()) {
                misread = true;
                chopAtEnd = false;
                break;
            } else {
                // Dropped by QSettings: an unknown escape, "\x" without digits, or a line
                // continuation together with its line end.
                misread = true;
                if ((escaped == '\n' || escaped == '\r') && i < text.size()
                    && (text[i] == '\n' || text[i] == '\r') && text[i] != escaped)
                    ++i;
            }
            chopLimit = value.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            ++quotes;
            if (quotes == 1 && i - 1 != valueStart)
                misread = true;
            if (!inQuotes) {
                skipBlanks();
                if (i < text.size())
                    misread = true;
                chopLimit = value.size();
            }
        } else if (c == ',' && !inQuotes) {
            misread = true;
            if (!quoted)
                chopTrailingBlanks(value, chopLimit);
            isList = true;
            items.push_back(std::exchange(value, {}));
            quoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
        } else {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '\\' && text[end] != '"' && text[end] != ',')
                ++end;
            std::string_view run = text.substr(i, end - i);
            // QSettings decodes the runs of a value as one stream, whose byte-order mark it drops.
            if (!decodedAny && run.starts_with(byteOrderMark)) {
                misread = true;
                run.remove_prefix(byteOrderMark.size());
            }
            decodedAny = true;
            appendDecoded(value, run);
            i = end;
        }
    }
    if (chopAtEnd && !quoted)
        chopTrailingBlanks(value, chopLimit);
    if (inQuotes)
        misread = true;
    if (!isList)
        return value;
    items.push_back(std::move(value));
    std::u16string joined = items.front();
    for (std::size_t k = 1; k < items.size(); ++k)
        joined += u", " + items[k];
    return joined;
}

// QSettings reads a value that starts with "@" as a typed value: "@@" escapes a leading "@",
// "@String(...)" holds a string with NUL characters; anything else is not read as a string.
std::u16string untyped(std::u16string value, bool& misread)
{
    if (value.empty() || value.front() != u'@')
        return value;
    if (value.starts_with(u"@@"))
        return value.substr(1);
    if (value.starts_with(u"@String(") && value.ends_with(u")"))
        return value.substr(8, value.size() - 9);
    misread = true;
    return value;
}

// QSettings looks keys up without empty parts, so a key such as "3/" can never be read.
bool isLookUpKey(std::u16string_view key)
{
    return !key.empty() && key.front() != u'/' && key.back() != u'/'
        && key.find(u"//") == std::u16string_view::npos;
}

// QSettings writes a section named "general" in any case as "[%General]", which reads back as
// "General": such a key would not come back.
bool comesBackFromGeneral(std::u16string_view key)
{
    const std::u16string_view section = key.substr(0, key.find(u'/'));
    return section.size() != key.size() && section.size() == 7 && section != u"General"
        && std::ranges::equal(section, std::u16string_view(u"general"),
            [](char16_t a, char16_t b) { return (a | 0x20) == b; });
}

// Lines that hold bytes a text file has not: invalid UTF-8 or control characters other than
// tabs and line ends.
class LineCounter {
public:
    explicit LineCounter(std::string_view text)
        : text(text)
    {
    }

    int lineAt(std::size_t offset)
    {
        for (; counted < offset && counted < text.size(); ++counted) {
            if (text[counted] == '\n'
                || (text[counted] == '\r'
                    && (counted + 1 == text.size() || text[counted + 1] != '\n')))
                ++line;
        }
        return line;
    }

private:
    std::string_view text;
    std::size_t counted = 0;
    int line = 1;
};

void addBinaryLines(std::string_view text, std::vector<int>& lines)
{
    LineCounter counter(text);
    std::u16string scratch;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        bool bad = byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
        if (byte >= 0x80) {
            length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
            length = std::min(length, text.size() - i);
            scratch.clear();
            bad = !appendDecoded(scratch, text.substr(i, length));
            if (bad)
                length = 1;
        }
        if (bad)
            lines.push_back(counter.lineAt(i));
        i += length;
    }
}

struct Entry {
    std::u16string section;
    std::string key;
    std::string value;
};

} // namespace

Parsed parse(std::string_view text)
{
    Parsed parsed;
    std::vector<int>& misread = parsed.misreadLines;
    addBinaryLines(text, misread);

    std::size_t position = text.starts_with(byteOrderMark) ? byteOrderMark.size() : 0;
    LineCounter counter(text);
    std::u16string section;
    std::vector<Entry> entries;
    Line line;
    while (readLine(text, position, line)) {
        bool lineMisread = line.cutByComment;
        if (line.text.front() == '[') {
            const std::size_t close = std::min(line.text.find(']'), line.text.size());
            lineMisread = lineMisread || close == line.text.size()
                || !trimmed(line.text.substr(close + 1)).empty();
            const std::string_view name = trimmed(line.text.substr(1, close - 1));
            if (equalsIgnoringCase(name, "general")) {
                section.clear();
            } else if (equalsIgnoringCase(name, "%general")) {
                section = decoded(name.substr(1)) + u'/';
            } else {
                section = unescapedKey(name, lineMisread) + u'/';
            }
        } else if (!line.equals) {
            lineMisread = true;
        } else {
            const std::u16string key
                = section + unescapedKey(trimmed(line.text.substr(0, *line.equals)), lineMisread);
            const std::u16string value = untyped(
                unescapedValue(line.text.substr(*line.equals + 1), lineMisread), lineMisread);
            Entry entry{section, {}, {}};
            const bool keyWhole = toUtf8(key, entry.key);
            const bool valueWhole = toUtf8(value, entry.value);
            const bool kept = isLookUpKey(key) && !comesBackFromGeneral(key);
            lineMisread = lineMisread || !keyWhole || !valueWhole || !kept;
            if (kept)
                entries.push_back(std::move(entry));
        }
        if (lineMisread)
            misread.push_back(counter.lineAt(line.start));
    }

    // QSettings reads its sections in the order of their names, each in the order of the file;
    // where a key comes twice, the last one read holds.
    std::ranges::stable_sort(entries, {}, &Entry::section);
    for (Entry& entry : entries)
        parsed.values.insert_or_assign(std::move(entry.key), std::move(entry.value));
    std::ranges::sort(misread);
    misread.erase(std::unique(misread.begin(), misread.end()), misread.end());
    return parsed;
}

namespace {

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

void appendLowerHex(std::string& out, char32_t code)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), hexDigit(unsigned(code), false));
        code >>= 4;
    } while (code != 0);
    out += digits;
}

bool isHexDigit(char32_t code)
{
    return code < 0x80 && hexValue(char(code)) >= 0;
}

void appendEscapedValue(std::string& out, std::u16string_view value)
{
    const std::size_t start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    bool writtenAsText = false;
    forEachCodePoint(value, [&](char32_t code) {
        needsQuotes = needsQuotes || code == U';' || code == U',' || code == U'=';
        if (escapeNextIfDigit && isHexDigit(code)) {
            out += "\\x";
            appendLowerHex(out, code);
            return;
        }
        escapeNextIfDigit = false;
        static constexpr std::array<std::pair<char32_t, const char*>, 9> named{
            {{U'\a', "\\a"}, {U'\b', "\\b"}, {U'\f', "\\f"}, {U'\n', "\\n"}, {U'\r', "\\r"},
                {U'\t', "\\t"}, {U'\v', "\\v"}, {U'"', "\\\""}, {U'\\', "\\\\"}}};
        const auto found = std::ranges::find(named, code, &std::pair<char32_t, const char*>::first);
        if (code == 0) {
            out += "\\0";
            escapeNextIfDigit = true;
        } else if (found != named.end()) {
            out += found->second;
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
    });
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
