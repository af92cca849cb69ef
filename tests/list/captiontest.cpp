#include "list/caption.h"

#include <gtest/gtest.h>

namespace {

std::string repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

struct DisplayCase {
    const char* name;
    std::string path;
    std::string shown;
};

const DisplayCase displayCases[] = {
    {"ShortPathWhole", R"(C:\short\file.txt)", R"(C:\short\file.txt)"},
    {"CutAtFolder", R"(C:\Data\letters\2008\may\invoice-0042.doc)",
        R"(...\2008\may\invoice-0042.doc)"},
    {"CutKeepsFolderAndName", R"(C:\Documents and Settings\Owner\My Documents\report.txt)",
        R"(...\My Documents\report.txt)"},
    {"LongFileNameKeptWhole", R"(D:\abcdefghijklmnopqrstuvw.txt)",
        R"(...\abcdefghijklmnopqrstuvw.txt)"},
    {"NoSeparatorWhole", std::string(35, 'x'), std::string(35, 'x')},
    {"ExactlyTwentyFiveWhole", R"(\\\\\\\\\\\\\\\\\\\\\\\\\)", R"(\\\\\\\\\\\\\\\\\\\\\\\\\)"},
    {"OnlySeparatorFirstOfTwentySeven", "\\" + std::string(26, 'a'),
        "...\\" + std::string(26, 'a')},
    {"SeparatorWithTwentyFiveAfterIsCutPoint", "ab\\cc\\" + std::string(25, 'z'),
        "...\\" + std::string(25, 'z')},
    {"SeparatorWithTwentyFiveAfterAloneWhole", "x\\" + std::string(25, 'z'),
        "x\\" + std::string(25, 'z')},
    {"Empty", "", ""},
    {"SlashSeparates", "/home/alex/Documents/letters/2008/invoice.odt",
        ".../letters/2008/invoice.odt"},
    {"ShortInCharactersWhole", "/" + repeated("é", 20) + "/𝄞x", "/" + repeated("é", 20) + "/𝄞x"},
    {"HiddenCharactersCountAsOne", "/" + repeated("\u200B", 22) + "/x",
        "/" + repeated("\u200B", 22) + "/x"},
    {"CountsCharactersNotBytes", "/data/" + repeated("é", 8) + "/" + repeated("ü", 8) + ".txt",
        ".../" + repeated("é", 8) + "/" + repeated("ü", 8) + ".txt"},
};

void PrintTo(const DisplayCase& displayCase, std::ostream* out)
{
    *out << displayCase.name;
}

class DisplayTextTest : public testing::TestWithParam<DisplayCase> { };

TEST_P(DisplayTextTest, ShowsExpectedText)
{
    EXPECT_EQ(displayText(GetParam().path), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Paths, DisplayTextTest, testing::ValuesIn(displayCases),
    [](const auto& info) { return std::string(info.param.name); });

struct CaptionCase {
    const char* name;
    std::int16_t index;
    std::string path;
    std::string caption;
};

const CaptionCase captionCases[] = {
    {"NumberedPath", 2, R"(C:\short\file.txt)", R"(&2   C:\short\file.txt)"},
    {"ShortenedPath", 2, R"(C:\Data\letters\2008\may\invoice-0042.doc)",
        R"(&2   ...\2008\may\invoice-0042.doc)"},
    {"TwoDigitIndex", 12, "/tmp/a", "&12   /tmp/a"},
    {"EmptyPath", 1, "", "&1   "},
    {"AmpersandShownLiterally", 3, "/home/alex/R&D/Q&&A.txt", "&3   /home/alex/R&&D/Q&&&&A.txt"},
    {"ControlCharactersShownAsCodePoints", 1, "/a\tb\nc\x7F", "&1   /a[U+0009]b[U+000A]c[U+007F]"},
    {"OverrideShownAsCodePoint", 1, "/bill\u202Efdp.exe", "&1   /bill[U+202E]fdp.exe"},
    {"IsolatesShownAsCodePoints", 1, "/\u2067x\u2069", "&1   /[U+2067]x[U+2069]"},
    {"MarksShownAsCodePoints", 1, "/a\u200Fb\u061C", "&1   /a[U+200F]b[U+061C]"},
    {"ZeroWidthSpaceShownAsCodePoint", 1, "report\u200B.pdf", "&1   report[U+200B].pdf"},
    {"SeparatorsShownAsCodePoints", 1, "/a\u2028b\u2029c", "&1   /a[U+2028]b[U+2029]c"},
    {"C1ControlShownAsCodePoint", 1, "/a\u0085b", "&1   /a[U+0085]b"},
    {"InvisibleFormatCharactersShownAsCodePoints", 1, "/\uFEFF\u00AD\u200D\u2060\u180E",
        "&1   /[U+FEFF][U+00AD][U+200D][U+2060][U+180E]"},
    {"DefaultIgnorableLettersAndTagsShownAsCodePoints", 1, "/\u3164\U000E0041",
        "&1   /[U+3164][U+E0041]"},
    {"VisibleNonAsciiStays", 1, "/zoë/\u05D0\U0001F600", "&1   /zoë/\u05D0\U0001F600"},
    {"MalformedBytesPassThrough", 1, "/a\xFF\xC3", "&1   /a\xFF\xC3"},
    {"MarkupStaysText", 4, "/<b>x</b>.txt", "&4   /<b>x</b>.txt"},
};

void PrintTo(const CaptionCase& captionCase, std::ostream* out)
{
    *out << captionCase.name;
}

class EntryCaptionTest : public testing::TestWithParam<CaptionCase> { };

TEST_P(EntryCaptionTest, NumbersAndEscapes)
{
    EXPECT_EQ(entryCaption(GetParam().index, GetParam().path), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(Captions, EntryCaptionTest, testing::ValuesIn(captionCases),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
