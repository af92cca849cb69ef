#include "list/numeric.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using Kind = Int16Conversion::Kind;

struct NumericCase {
    std::string text;
    Kind kind;
    std::int16_t value = 0;
};

// Keeps test names short and readable, however long the text.
void PrintTo(const NumericCase& numericCase, std::ostream* out)
{
    const std::string& text = numericCase.text;
    *out << '"' << (text.size() > 12 ? text.substr(0, 12) + "..." : text) << '"';
}

class ConvertToInt16Test : public testing::TestWithParam<NumericCase> { };

TEST_P(ConvertToInt16Test, ReadsTextAsAPersonWouldTypeIt)
{
    const Int16Conversion converted = convertToInt16(GetParam().text);
    EXPECT_EQ(converted.kind, GetParam().kind) << '"' << GetParam().text << '"';
    if (GetParam().kind == Kind::InRange) {
        EXPECT_EQ(converted.value, GetParam().value) << '"' << GetParam().text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Plain, ConvertToInt16Test,
    testing::Values(NumericCase{"0", Kind::InRange, 0}, NumericCase{"3", Kind::InRange, 3},
        NumericCase{"-3", Kind::InRange, -3}, NumericCase{"+12", Kind::InRange, 12},
        NumericCase{"  7\t", Kind::InRange, 7}, NumericCase{"007", Kind::InRange, 7},
        NumericCase{"32767", Kind::InRange, 32767}, NumericCase{"-32768", Kind::InRange, -32768}));

INSTANTIATE_TEST_SUITE_P(Rounding, ConvertToInt16Test,
    testing::Values(NumericCase{"2.5", Kind::InRange, 2}, NumericCase{"3.5", Kind::InRange, 4},
        NumericCase{"0.5", Kind::InRange, 0}, NumericCase{"-2.5", Kind::InRange, -2},
        NumericCase{"2.5000000000000000000001", Kind::InRange, 3},
        NumericCase{"2.49999", Kind::InRange, 2}, NumericCase{".5", Kind::InRange, 0},
        NumericCase{"5.", Kind::InRange, 5}, NumericCase{"0.05", Kind::InRange, 0},
        NumericCase{"32767.4", Kind::InRange, 32767},
        NumericCase{"-32768.5", Kind::InRange, -32768}));

INSTANTIATE_TEST_SUITE_P(Exponents, ConvertToInt16Test,
    testing::Values(NumericCase{"1e1", Kind::InRange, 10}, NumericCase{"1E+2", Kind::InRange, 100},
        NumericCase{"250e-2", Kind::InRange, 2}, NumericCase{"1e-400", Kind::InRange, 0},
        NumericCase{"0e99999999999999999999", Kind::InRange, 0},
        NumericCase{"1e400", Kind::OutOfRange}, NumericCase{"3.2767e4", Kind::InRange, 32767},
        NumericCase{"1e99999999999999999999", Kind::OutOfRange}));

INSTANTIATE_TEST_SUITE_P(OutOfRange, ConvertToInt16Test,
    testing::Values(NumericCase{"32768", Kind::OutOfRange}, NumericCase{"-32769", Kind::OutOfRange},
        NumericCase{"32767.5", Kind::OutOfRange}, NumericCase{"99999", Kind::OutOfRange},
        NumericCase{"100000", Kind::OutOfRange},
        NumericCase{std::string(5000, '9'), Kind::OutOfRange},
        NumericCase{"0." + std::string(5000, '0') + "1", Kind::InRange, 0}));

INSTANTIATE_TEST_SUITE_P(NotNumeric, ConvertToInt16Test,
    testing::Values(NumericCase{"", Kind::NotNumeric}, NumericCase{"   ", Kind::NotNumeric},
        NumericCase{"abc", Kind::NotNumeric}, NumericCase{".", Kind::NotNumeric},
        NumericCase{"-", Kind::NotNumeric}, NumericCase{"1e", Kind::NotNumeric},
        NumericCase{"e5", Kind::NotNumeric}, NumericCase{"1e+", Kind::NotNumeric},
        NumericCase{"inf", Kind::NotNumeric}, NumericCase{"nan", Kind::NotNumeric},
        NumericCase{"0x10", Kind::NotNumeric}, NumericCase{"1,000", Kind::NotNumeric},
        NumericCase{"2,5", Kind::NotNumeric}, NumericCase{"1 2", Kind::NotNumeric},
        NumericCase{"--1", Kind::NotNumeric}, NumericCase{"1.2.3", Kind::NotNumeric},
        NumericCase{"12abc", Kind::NotNumeric},
        NumericCase{std::string("4\0", 2), Kind::NotNumeric}));

} // namespace
