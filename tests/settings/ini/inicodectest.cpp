#include "settings/ini/inicodec.h"

#include "tests/support/qsettingsoracle.h"

#include <gtest/gtest.h>
#include <random>

namespace {

QSettingsOracle& oracle()
{
    static QSettingsOracle instance;
    return instance;
}

struct Text {
    const char* name;
    std::string text;
    std::vector<int> misreadLines;
};

void PrintTo(const Text& text, std::ostream* out)
{
    *out << text.name;
}

class IniText : public testing::TestWithParam<Text> { };

// Each text reads as QSettings reads it; only the lines that would not come back as they are
// written are reported.
TEST_P(IniText, ReadsAsQSettingsAndReportsEveryLineItMisreads)
{
    const ini::Parsed parsed = ini::parse(GetParam().text);
    EXPECT_EQ(parsed.misreadLines, GetParam().misreadLines);
    if (parsed.faithful()) {
        EXPECT_EQ(oracle().read(GetParam().text), parsed.values);
    }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(Texts, IniText,
    testing::Values(
        Text{"written", "[Config]\nMAX_FILES=3\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b\n", {}},
        Text{"byteOrderMark", "\xEF\xBB\xBF[Config]\nnoHIX=1\n", {}},
        Text{"byteOrderMarkBeforeBlanks", "\xEF\xBB\xBF\tX=1\n", {1}},
        Text{"windowsLineEnds", "[Config]\r\nnoHIX=1\r\n\r\n[Recent%20Files]\r\n1=/a b\r\n", {}},
        Text{"commentsAndBlankLines", "; mine\n\n[Config]\n  ; indented\nnoHIX = 1 \n", {}},
        Text{"quotedValues", "[R]\n1=\"/a, b;c=d\"\n2=\" padded \"\n", {}},
        Text{"escapes", "[R]\n1=\\t\\\"\\\\\\x1f\\x61\n", {}},
        Text{"generalSections", "top=1\n[General]\nx=2\n[%General]\ny=3\n", {}},
        Text{"sectionsTwice", "[R]\n1=/a\n[S]\n1=/s\n[R]\n1=/c\n", {}},
        Text{"escapedKeys", "[%E9t%E9]\na\\b=1\n%U20AC=2\n", {}},
        Text{"leadingAt", "[R]\n1=@@home\n2=@String(a\\0z)\n", {}},
        Text{"headerWithABlank", "[Recent Files]\n1=/a\n", {1, 2}},
        Text{"quotedOverLines", "[R]\n3=\"multi\nline\"\n", {2, 3}},
        Text{"escapesWrittenOtherwise", "[R]\n1=\\x41\\101\\?\n2=\"@String(a\\0b)\"\n", {2, 3}},
        Text{"keysEscapedOtherwise", "[%U00e9t%E9]\na\\b=1\n%41=2\n", {1, 2, 3}},
        Text{"unknownEscape", "[R]\n1=back\\slash.txt\n", {2}},
        Text{"continuation", "[R]\n1=a\\\nb\n", {2, 3}},
        Text{"innerQuotes", "[R]\n1=\"quoted\" name.txt\n2=say \"hi\"\n", {2, 3}},
        Text{"unterminatedQuote", "[R]\n1=\"open\n2=/b\n", {2}},
        Text{"typedValues", "[R]\n1=@Point(1 2)\n2=@ByteArray(x)\n3=@plain\n", {2, 3, 4}},
        Text{"list", "[R]\n1=/a,b\n", {2}}, Text{"trailingComment", "[R]\n1=/c;d\n", {2}},
        Text{"keysWithEmptyParts", "[R]\n3/=x\n/4=y\na\\\\b=z\n=w\n", {2, 3, 4, 5}},
        Text{"headerWithoutBracket", "[Config\nnoHIX=1\n", {1}},
        Text{"textAfterHeader", "[Config] x\nnoHIX=1\n", {1}},
        Text{"lineWithoutEquals", "[R]\njunk\n1=/a\n", {2}},
        Text{"loosePercentEscape", "[R]\n%4=1\n%zz=2\n", {2, 3}},
        Text{"generalOfOtherCase", "[%GENERAL]\nx=1\n[General]\ngeneral\\y=2\n", {1, 2, 4}},
        Text{"invalidUtf8", "[R]\n1=/a\xff\xfe.txt\n2=/\xc3(\n", {2, 3}},
        Text{"controlBytes", "[R]\n1=/c\0d\n2=\x01\n"s, {2, 3}},
        Text{"loneSurrogate", "[R]\n1=\\xd800\n%UDC00=x\n", {2, 3}}),
    [](const testing::TestParamInfo<Text>& info) { return std::string(info.param.name); });

// Random strings, weighted towards what the format escapes, quotes or treats specially.
class RandomText {
public:
    explicit RandomText(unsigned seed)
        : random(seed)
    {
    }

    std::string pick(const std::vector<std::string>& choices, std::size_t length)
    {
        std::string text;
        for (std::size_t i = std::uniform_int_distribution<std::size_t>(0, length)(random); i > 0;
             --i)
            text += choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(
                random)];
        return text;
    }

    ini::Values values()
    {
        static const std::vector<std::string> sectionParts{"Config", "Recent Files", "General",
            "%General", "a/b", "\xc3\xa9", "\xf0\x9f\x98\x80", "%", "=", "[x]", "_.-"};
        static const std::vector<std::string> keyParts{"1", "20", "MAX_FILES", "noHIX", " ", "/",
            "\\", "%U", "\xe2\x82\xac", "\xf0\x9f\x98\x80", ";", "\"", "@"};
        static const std::vector<std::string> valueParts{" ", "\t", "\n", "\r", "\0"s, "\x01",
            "\x1f", "\x7f", ",", ";", "=", "\"", "\\", "@", "@@", "a", "1", "f", "g", "x",
            "/home/a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "%", "[", "]", "@String(",
            ")", "\xEF\xBB\xBF"};
        ini::Values values;
        for (std::size_t i = std::uniform_int_distribution<std::size_t>(0, 6)(random); i > 0; --i) {
            std::string key = pick(keyParts, 3);
            if (random() % 4 != 0)
                key = pick(sectionParts, 2) + '/' + key;
            values[normalised(key)] = pick(valueParts, 8);
        }
        values.erase("");
        return values;
    }

    std::string text()
    {
        static const std::vector<std::string> parts{"[", "]", "=", ";", ",", "\"", "\\", "\\x",
            "\\0", "\\n", "\\\n", "\n", "\r\n", "\r", " ", "\t", "%", "%U", "%41", "@", "@@",
            "@String(", ")", "general", "%General", "Config", "1", "a", "F", "/", "\xc3\xa9",
            "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xEF\xBB\xBF"};
        std::string text = random() % 8 == 0 ? "\xEF\xBB\xBF" : "";
        for (std::size_t line = std::uniform_int_distribution<std::size_t>(0, 6)(random); line > 0;
             --line)
            text += (random() % 3 == 0 ? "[" + pick(parts, 3) + "]"
                                       : pick(parts, 3) + "=" + pick(parts, 6))
                + "\n";
        return text;
    }

private:
    static std::string normalised(const std::string& key)
    {
        std::string out;
        for (const char c : key) {
            if (c == '/' && (out.empty() || out.back() == '/'))
                continue;
            out += c;
        }
        while (!out.empty() && out.back() == '/')
            out.pop_back();
        return out;
    }

    std::mt19937 random;
};

// The bytes written are QSettings' bytes, and they read back as the values.
TEST(IniCodec, WritesWhatQSettingsWritesAndReadsItBack)
{
    RandomText random(1);
    for (int round = 0; round < 2000; ++round) {
        const ini::Values values = random.values();
        const std::string written = ini::serialise(values);
        if (written.find("\\xfeff") == std::string::npos) {
            ASSERT_EQ(written, oracle().write(values)) << "round " << round;
        }
        const ini::Parsed reread = ini::parse(written);
        ASSERT_TRUE(reread.faithful()) << written;
        ASSERT_EQ(reread.values, values) << written;
    }
}

// QSettings drops a byte-order mark where a value's text starts, so the codec escapes it there.
TEST(IniCodec, KeepsTheByteOrderMarkThatStartsAValue)
{
    const ini::Values values{{"R/1", "\xEF\xBB\xBF/a\xEF\xBB\xBF"}, {"R/2", "\t\xEF\xBB\xBF"}};
    const std::string written = ini::serialise(values);
    EXPECT_EQ(written, "[R]\n1=\\xfeff/a\xEF\xBB\xBF\n2=\\t\\xfeff\n");
    EXPECT_EQ(oracle().read(written), values);
    EXPECT_EQ(ini::parse(oracle().write(values)).misreadLines, (std::vector{2, 3}));
}

// Any text: what reads faithfully reads as QSettings reads it, and what is saved afterwards
// reads back whole.
TEST(IniCodec, ReadsRandomTextsAsQSettingsOrSaysItCannot)
{
    RandomText random(2);
    int faithful = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = random.text();
        const ini::Parsed parsed = ini::parse(text);
        if (parsed.faithful()) {
            ++faithful;
            ASSERT_EQ(oracle().read(text), parsed.values) << text;
        }
        const ini::Parsed saved = ini::parse(ini::serialise(parsed.values));
        ASSERT_TRUE(saved.faithful()) << text;
        ASSERT_EQ(saved.values, parsed.values) << text;
    }
    EXPECT_GT(faithful, 300);
}

} // namespace
