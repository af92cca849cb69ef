#include "list/text.h"
#include "settings/ini/inicodec.h"
#include "settings/ini/iniescapes.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <tuple>

namespace ini {
namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// The code unit that digits hexadecimal digits at text[at] stand for, where they are there.
std::optional<char16_t> hexUnit(std::string_view text, std::size_t at, std::size_t digits)
{
    unsigned unit = 0;
    const char* first = text.data() + std::min(at, text.size());
    const char* last = text.data() + std::min(at + digits, text.size());
    const auto [end, error] = std::from_chars(first, last, unit, 16);
    return error == std::errc() && end == first + digits ? std::optional(char16_t(unit))
                                                         : std::nullopt;
}

// What a key or section name written by QSettings stands for; nothing where it is not one.
std::optional<std::u16string> key(std::string_view text)
{
    std::u16string key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t digits = text.substr(i, 2) == "%U" ? 4 : 2;
        if (text[i] == '%') {
            const std::optional<char16_t> unit = hexUnit(text, i + digits / 2, digits);
            if (!unit)
                return std::nullopt;
            key += *unit;
            i += digits / 2 + digits - 1;
        } else {
            key += text[i] == '\\' ? u'/' : char16_t(static_cast<unsigned char>(text[i]));
        }
    }
    if (escapedKey(key) != text)
        return std::nullopt;
    return key;
}

// What a string value written by QSettings stands for: escapes, quotes around the whole and
// the typed forms of strings undone; nothing where the text is not such a value.
std::optional<std::string> value(std::string_view text)
{
    // Most values are plain ASCII text, which QSettings writes as it is.
    if (std::ranges::all_of(text,
            [](char c) { return c > ' ' ? c < 0x7F && !std::strchr("\\\",;=", c) : c == ' '; })
        && !text.starts_with('@') && !text.starts_with(' ') && !text.ends_with(' '))
        return std::string(text);

    const bool quoted = text.size() >= 2 && text.starts_with('"') && text.ends_with('"');
    const std::string_view inner = quoted ? text.substr(1, text.size() - 2) : text;
    std::u16string value;
    for (std::size_t i = 0; i < inner.size();) {
        if (inner.substr(i, 2) == "\\x") {
            unsigned unit = 0;
            const auto [end, error]
                = std::from_chars(inner.data() + i + 2, inner.data() + inner.size(), unit, 16);
            if (error != std::errc() || unit > 0xFFFF)
                return std::nullopt;
            value += char16_t(unit);
            i = std::size_t(end - inner.data());
        } else if (inner[i] == '\\') {
            const char letter = i + 1 < inner.size() ? inner[i + 1] : '\0';
            const auto named
                = std::ranges::find(namedEscapes, letter, &std::pair<char16_t, char>::second);
            if (letter != '0' && named == namedEscapes.end())
                return std::nullopt;
            value += letter == '0' ? u'\0' : named->first;
            i += 2;
        } else {
            const std::size_t end = std::min(inner.find('\\', i), inner.size());
            const std::optional<std::u16string> run = utf16(inner.substr(i, end - i), true);
            if (!run)
                return std::nullopt;
            value += *run;
            i = end;
        }
    }
    if (value.starts_with(u"@String(") && value.ends_with(u')'))
        value = value.substr(8, value.size() - 9);
    else if (value.starts_with(u'@'))
        value.erase(0, 1);
    if (escapedValue(value) != text)
        return std::nullopt;
    return utf8(value);
}

// The section a header line opens, where its name is one QSettings writes, and whether the line
// is exactly the header QSettings writes for it.
std::pair<std::optional<std::u16string>, bool> openedSection(std::string_view line)
{
    const std::size_t close = line.find(']');
    const std::string_view name
        = trimmed(line.substr(1, close == std::string_view::npos ? close : close - 1));
    std::optional<std::u16string> section = name == "General" ? std::u16string()
        : name == "%General"                                  ? u"General"
                                                              : key(name);
    return {section, section && sectionHeader(*section) == line};
}

// The values of the lines read so far, and the section they are in: none while it is one whose
// name QSettings does not write.
class Reader {
public:
    // Whether the line reads as QSettings writes it.
    bool read(std::string_view line)
    {
        if (line.starts_with('[')) {
            bool whole = false;
            std::tie(section, whole) = openedSection(line);
            return whole;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !section)
            return false;
        const std::optional<std::u16string> name = key(trimmed(line.substr(0, equals)));
        std::optional<std::string> text = value(trimmed(line.substr(equals + 1)));
        if (!name || !text)
            return false;
        const std::u16string fullKey = section->empty() ? *name : *section + u'/' + *name;
        std::optional<std::string> fullKey8 = utf8(fullKey);
        if (!fullKey8 || !comesBack(fullKey))
            return false;
        entries.push_back({*section, std::move(*fullKey8), std::move(*text)});
        return true;
    }

    // QSettings reads its sections in the order of their names, each in the order of the file;
    // where a key comes twice, the last one read holds.
    Values values()
    {
        std::ranges::stable_sort(entries, {}, &Entry::section);
        Values values;
        for (Entry& entry : entries)
            values.insert_or_assign(std::move(entry.key), std::move(entry.value));
        return values;
    }

private:
    struct Entry {
        std::u16string section;
        std::string key;
        std::string value;
    };

    // A key comes back where QSettings can look it up, with no empty part (so "3/" never comes
    // back), and where the header of its section reads back as that section (where "general"
    // would come back as "General").
    bool comesBack(std::u16string_view key)
    {
        const std::u16string_view first = key.substr(0, key.find(u'/'));
        if (key.empty() || key.starts_with(u'/') || key.ends_with(u'/')
            || key.find(u"//") != std::u16string_view::npos)
            return false;
        if (first.size() == key.size())
            return true;
        // The lines of a section mostly have their section in common.
        if (first != checkedSection) {
            checkedSection = first;
            checkedSectionComesBack = openedSection(sectionHeader(first)).first == first;
        }
        return checkedSectionComesBack;
    }

    std::optional<std::u16string> section = std::u16string();
    std::vector<Entry> entries;
    std::u16string checkedSection;
    bool checkedSectionComesBack = false;
};

} // namespace

Parsed parse(std::string_view text)
{
    Parsed parsed;
    // QSettings skips a byte-order mark, but for the first keys, whose blanks it then keeps.
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
        if (!text.empty() && isBlank(text.front()))
            parsed.misreadLines.push_back(1);
    }
    Reader reader;
    int number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = trimmed(line);
        // QSettings also ends a line at a carriage return of its own.
        const bool oneLine = line.find('\r') == std::string_view::npos;
        if (oneLine && (line.empty() || line.starts_with(';')))
            continue;
        if ((!oneLine || !reader.read(line))
            && (parsed.misreadLines.empty() || parsed.misreadLines.back() != number))
            parsed.misreadLines.push_back(number);
    }
    parsed.values = reader.values();
    return parsed;
}

} // namespace ini
