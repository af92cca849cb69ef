#pragma once

#include <algorithm>
#include <cstddef>
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
// of the 16-bit range still ends.
class IndexRun {
public:
    class Iterator {
    public:
        using value_type = std::int16_t;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        Iterator(int index, int step)
            : index(index)
            , step(step)
        {
        }
        std::int16_t operator*() const { return static_cast<std::int16_t>(index); }
        Iterator& operator++()
        {
            index += step;
            return *this;
        }
        Iterator operator++(int)
        {
            const Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator&) const = default;

    private:
        int index = 0;
        int step = 1;
    };

    IndexRun(int first, int end, int step)
        : first(first, step)
        , last(end, step)
    {
    }
    Iterator begin() const { return first; }
    Iterator end() const { return last; }

private:
    Iterator first;
    Iterator last;
};

// The indexes first to last in increasing order (none when last < first).
inline IndexRun indexes(std::int16_t first, std::int16_t last)
{
    return {first, std::max(int{first}, int{last} + 1), 1};
}

// The indexes last down to first (none when last < first).
inline IndexRun indexesDown(std::int16_t last, std::int16_t first)
{
    return {last, std::min(int{last}, int{first} - 1), -1};
}
