#pragma once

#include <QString>
#include <utility>
#include <vector>

// Paths hostile to one layer or another, for every layer to take: to the INI text (separators,
// quotes, escapes, typed values), to rich text and menus (markup, controls, format characters,
// bidirectional overrides), and to sizes.
inline const std::vector<std::pair<const char*, QString>>& hostileNames()
{
    static const std::vector<std::pair<const char*, QString>> names{
        {"backslashes", QStringLiteral(R"(C:\Data\letters\x.doc)")},
        {"quotes", QStringLiteral(R"(/tmp/"quoted" 'single'.txt)")},
        {"comma", QStringLiteral("/tmp/a, b,c.txt")},
        {"semicolon", QStringLiteral("/tmp/a;b.txt")},
        {"equals", QStringLiteral("/tmp/a=b.txt")},
        {"hash", QStringLiteral("#/tmp/a#b.txt")},
        {"leading at", QStringLiteral("@Variant(foo)")},
        {"leading and trailing blanks", QStringLiteral("  /tmp/a.txt  ")},
        {"tab and newline", QStringLiteral("/tmp/a\tb\nc\r\nd.txt")},
        {"non-ASCII", QStringLiteral("/home/zoë/Überblick/naïve.txt")},
        {"non-BMP", QStringLiteral("/tmp/\U0001D11E-\U0001F600.txt")},
        {"brackets", QStringLiteral("[Config]")},
        {"looks like a list", QStringLiteral("a,")},
        {"percent", QStringLiteral("/tmp/100%20done%.txt")},
        {"markup", QStringLiteral("/tmp/<b>x</b><img src=x>.txt")},
        {"right-to-left override", QStringLiteral("/tmp/bill\u202Efdp.exe")},
        {"zero-width space", QStringLiteral("/tmp/report\u200B.pdf")},
        {"line separator", QStringLiteral("/tmp/a\u2028b.txt")},
        {"4096 characters", QStringLiteral("/") + QString(4095, u'n')},
    };
    return names;
}
