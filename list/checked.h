#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ranges>
#include <stdexcept>

// Counters and indexes are 16-bit, as stored; leaving that range is an error, never a wrap-around.
inline std::int16_t checkedInt16(int value)
{
    if (value < std::numeric_limits<std::int16_t>::min()
        || value > std::numeric_limits<std::int16_t>::max())
        throw std::overflow_error("Overflow: a list counter left the 16-bit range");
    return static_cast<std::int16_t>(value);
}

// The indexes first to last in increasing order (none when last < first). The loop variable is
// an int, so a range that ends at the top of the 16-bit range still ends.
inline auto indexes(std::int16_t first, std::int16_t last)
{
    const int end = std::max(int{first}, int{last} + 1);
    return std::views::iota(int{first}, end)
        | std::views::transform([](int index) { return static_cast<std::int16_t>(index); });
}
