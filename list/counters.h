#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

// Counters and indexes are 16-bit, as stored; leaving that range is an error, never a wrap-around.
inline std::int16_t checkedInt16(int value)
{
    if (value < std::numeric_limits<std::int16_t>::min()
        || value > std::numeric_limits<std::int16_t>::max())
        throw std::overflow_error("Overflow: a list counter left the 16-bit range");
    return static_cast<std::int16_t>(value);
}

// A run of list indexes, one step at a time. The counter is an int, so a run that ends at the edge
// of the 16-bit range still ends. Written out because the fuzzers' compiler, Clang 14, cannot build
// libstdc++ 12's <ranges>, where std::views::iota would serve.
struct IndexRun {
    struct Iterator {
        int index;
        int step;
        std::int16_t operator*() const { return static_cast<std::int16_t>(index); }
        Iterator& operator++()
        {
            index += step;
            return *this;
        }
        bool operator==(const Iterator&) const = default;
    };
    Iterator begin() const { return {first, step}; }
    Iterator end() const { return {last + step, step}; }

    int first;
    int last;
    int step;
};

// The indexes first to last in increasing order (none when last < first).
inline IndexRun indexes(std::int16_t first, std::int16_t last)
{
    return {first, std::max(int{first} - 1, int{last}), 1};
}

// The indexes last down to first (none when last < first).
inline IndexRun indexesDown(std::int16_t last, std::int16_t first)
{
    return {last, std::min(int{last} + 1, int{first}), -1};
}
