#include "settings/ini/inicodec.h"
#include "settings/ini/initext.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unicode/utf8.h>
#include <utility>

namespace ini {
namespace {

using namespace text;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What QByteArray::trimmed() takes for white space.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

template<typename IsWhite>
std::string_view trimmed(std::string_view text, IsWhite isWhite)
{
    while (!text.empty() && isWhite(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isWhite(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view trimmed(std::string_view text)
{
    return trimmed(text, isSpace);
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

// Most values are ASCII text without escapes, quotes or commas: QSettings reads them as they
// are written but for the blanks around them, and they need no trip through UTF-16.
std::optional<std::string_view> plainValue(std::string_view text)
{
    const bool plain = std::ranges::none_of(text, [](char c) {
        return c == '\\' || c == '"' || c == ',' || static_cast<unsigned char>(c) >= 0x80;
    });
    text = trimmed(text, isBlank);
    if (!plain || text.starts_with('@'))
        return std::nullopt;
    return text;
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

// The line of an offset in the text, for offsets that only grow.
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

// Lines that hold bytes a text file has not: invalid UTF-8 or control characters other than
// tabs and line ends.
void addBinaryLines(std::string_view text, std::vector<int>& lines)
{
    LineCounter counter(text);
    for (std::int32_t i = 0; i < std::int32_t(text.size());) {
        const std::int32_t start = i;
        UChar32 code = 0;
        U8_NEXT(text.data(), i, std::int32_t(text.size()), code);
        if (code < 0 || (code < 0x20 && code != '\t' && code != '\n' && code != '\r'))
            lines.push_back(counter.lineAt(std::size_t(start)));
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

    std::size_t position = 0;
    if (text.starts_with(byteOrderMark)) {
        position = byteOrderMark.size();
        // QSettings reads the keys before the first section from the very start again, where
        // the mark keeps blanks after it in the first key.
        if (position < text.size() && isBlank(text[position]))
            misread.push_back(1);
    }
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
            const std::string_view valueText = line.text.substr(*line.equals + 1);
            Entry entry{section, {}, {}};
            const bool keyWhole = toUtf8(key, entry.key);
            bool valueWhole = true;
            if (std::optional<std::string_view> plain = plainValue(valueText))
                entry.value = *plain;
            else
                valueWhole = toUtf8(
                    untyped(unescapedValue(valueText, lineMisread), lineMisread), entry.value);
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
} // namespace ini
