#pragma once

#include "tests/support/fakes.h"

#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <string>

// The actions of one crash-stress run, drawn from a seed, so that a run killed at any moment can
// be replayed over the in-memory store to tell which states its settings file may be in.
class StressActions {
public:
    StressActions(std::uint32_t seed, SettingsStore& store)
        : random(seed)
        , copy(store)
    {
    }

    void start() { copy.startUp(); }

    // One open, promotion or maximum, saved as the window saves it.
    void next()
    {
        const std::int16_t count = copy.hix.state().entryCount;
        switch (draw(3)) {
        case 0:
            copy.open("/stress/" + std::to_string(draw(30)) + " päth & <b>.txt");
            break;
        case 1:
            if (count > 0)
                copy.open(copy.form.entries.tag(static_cast<std::int16_t>(1 + draw(count))));
            break;
        default:
            static constexpr std::array maximums{
                "1", "2", "3", "5", "8", "13", "20", "0", "21", "-3", "2.5", "1e1", "abc", ""};
            copy.submitMaximum(maximums[draw(maximums.size())]);
            break;
        }
    }

private:
    unsigned draw(std::size_t bound) { return static_cast<unsigned>(random() % bound); }

    std::mt19937 random;
    WindowlessCopy copy;
};
