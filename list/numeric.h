#pragma once

#include <cstdint>
#include <string_view>

struct Int16Conversion {
    enum class Kind { NotNumeric, OutOfRange, InRange };

    Kind kind = Kind::NotNumeric;
    std::int16_t value = 0;
};

// Reads text the way a person types a number: optional blanks around it, an optional sign, digits
// with an optional decimal point, an optional exponent. The value is rounded half to even.
Int16Conversion convertToInt16(std::string_view text);
