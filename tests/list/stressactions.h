#pragma once

#include "fakes.h"
#include "hix.h"

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
        , hix(store, messages)
    {
    }

    void start() { hix.StartUp(form); }

    // One open, promotion or maximum, saved as the window saves it.
    void next()
    {
        const std::int16_t count = hix.state().entryCount;
        switch (draw(3)) {
        case 0: {
            const std::string path = "/stress/" + std::to_string(draw(30)) + " päth & <b>.txt";
            hix.changeShared([&] { hix.OpenPath(path); });
            break;
        }
        case 1:
            if (count > 0) {
                const std::string path
                    = form.entries.tag(static_cast<std::int16_t>(1 + draw(count)));
                hix.changeShared([&] { hix.OpenPath(path); });
            }
            break;
        default:
            static constexpr std::array maximums{
                "1", "2", "3", "5", "8", "13", "20", "0", "21", "-3", "2.5", "1e1", "abc", ""};
            form.maximum.value = maximums[draw(maximums.size())];
            hix.changeShared([this] { hix.ApplyMaximum(); });
            break;
        }
    }

private:
    unsigned draw(std::size_t bound) { return static_cast<unsigned>(random() % bound); }

    std::mt19937 random;
    FakeMessageBox messages;
    FakeForm form;
    HIX hix;
};

// Every value the list can store, with missing keys left out.
inline std::map<FakeStore::Key, std::string> storedValues(const SettingsStore& store)
{
    static const std::string missing = "\x01";
    std::map<FakeStore::Key, std::string> values;
    const auto add = [&](const std::string& section, const std::string& key) {
        if (std::string value = store.GetSetting(section, key, missing); value != missing)
            values[{section, key}] = std::move(value);
    };
    add("Config", "MAX_FILES");
    add("Config", "noHIX");
    for (int position = 1; position <= 25; ++position)
        add("Recent Files", std::to_string(position));
    return values;
}
