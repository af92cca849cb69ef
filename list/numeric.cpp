#include "list/numeric.h"

#include "list/text.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Large enough to push any 16-bit value out of range, small enough never to overflow.
constexpr long long exponentLimit = 1'000'000;

// A number in decimal notation: its value is digits * 10^exponent.
struct Decimal {
    bool negative = false;
    std::string digits;
    long long exponent = 0;
};

bool parse(std::string_view text, Decimal& number)
{
    std::size_t pos = 0;
    const auto digitsFrom = [&](auto onDigit) {
        const std::size_t start = pos;
        while (pos < text.size() && isDigit(text[pos]))
            onDigit(text[pos++]);
        return pos - start;
    };

    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        number.negative = text[pos++] == '-';

    std::size_t mantissaDigits = digitsFrom([&](char c) { number.digits += c; });
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        const std::size_t fractionDigits = digitsFrom([&](char c) { number.digits += c; });
        number.exponent
            -= static_cast<long long>(std::min<std::size_t>(fractionDigits, exponentLimit));
        mantissaDigits += fractionDigits;
    }
    if (mantissaDigits == 0)
        return false;

    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            negativeExponent = text[pos++] == '-';
        long long exponent = 0;
        const auto accumulate
            = [&](char c) { exponent = std::min(exponent * 10 + (c - '0'), exponentLimit); };
        if (digitsFrom(accumulate) == 0)
            return false;
        number.exponent += negativeExponent ? -exponent : exponent;
    }
    return pos == text.size();
}

} // namespace

Int16Conversion convertToInt16(std::string_view text)
{
    using Kind = Int16Conversion::Kind;

    Decimal number;
    if (!parse(trimmed(text), number))
        return {Kind::NotNumeric};

    std::string_view digits = number.digits;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty())
        return {Kind::InRange, 0};

    // Digits before the decimal point; more than five cannot fit in 16 bits.
    const long long integerDigits = static_cast<long long>(digits.size()) + number.exponent;
    if (integerDigits > 5)
        return {Kind::OutOfRange};

    long magnitude = 0;
    std::string_view fraction = digits;
    if (integerDigits > 0) {
        for (long long i = 0; i < integerDigits; ++i)
            magnitude = magnitude * 10
                + (i < static_cast<long long>(digits.size()) ? digits[i] - '0' : 0);
        fraction.remove_prefix(std::min<std::size_t>(integerDigits, fraction.size()));
    }

    // Below 0.1 the first fraction digit is an implicit zero: the value rounds down.
    const int firstFractionDigit
        = integerDigits >= 0 && !fraction.empty() ? fraction.front() - '0' : 0;
    const bool moreAfterFirst
        = fraction.size() > 1 && fraction.find_first_not_of('0', 1) != std::string_view::npos;
    const bool roundUp = firstFractionDigit > 5
        || (firstFractionDigit == 5 && (moreAfterFirst || magnitude % 2 == 1));
    if (roundUp)
        ++magnitude;

    const long value = number.negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int16_t>::min()
        || value > std::numeric_limits<std::int16_t>::max())
        return {Kind::OutOfRange};
    return {Kind::InRange, static_cast<std::int16_t>(value)};
}
