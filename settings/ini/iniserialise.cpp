#include "settings/ini/inicodec.h"
#include "settings/ini/iniescapes.h"

namespace ini {

std::string serialise(const Values& values)
{
    // Ordered as QSettings orders them: by UTF-16 code units, which std::u16string compares.
    std::map<std::u16string, std::map<std::u16string, std::u16string>> sections;
    for (const auto& [key, value] : values) {
        const std::u16string fullKey = utf16(key).value_or(std::u16string());
        const std::size_t slash = fullKey.find(u'/');
        const bool inSection = slash != std::u16string::npos;
        sections[inSection ? fullKey.substr(0, slash) : std::u16string()]
                [inSection ? fullKey.substr(slash + 1) : fullKey]
            = utf16(value).value_or(std::u16string());
    }
    std::string out;
    for (const auto& [section, keys] : sections) {
        if (!out.empty())
            out += '\n';
        out += sectionHeader(section) + '\n';
        for (const auto& [key, value] : keys)
            out += escapedKey(key) + '=' + escapedValue(value) + '\n';
    }
    return out;
}

} // namespace ini
