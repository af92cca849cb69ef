#pragma once

#include "list/caption.h"
#include "tests/support/fakes.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

// A hand-edited settings file may list a path twice; the program never does.
enum class Duplicates { Refused, Kept };

// What must hold between the list, its menu and the store after every completed action.
inline void checkListInvariants(const WindowlessCopy& copy, const SettingsStore& store,
    Duplicates duplicates = Duplicates::Refused)
{
    const FakeForm& form = copy.form;
    const auto fail = [](const char* what) {
        std::fprintf(stderr, "list invariant broken: %s\n", what);
        std::abort();
    };
    const std::int16_t count = copy.hix.state().entryCount;
    if (count < 0 || count > 20)
        fail("the count is between 0 and 20");
    if (form.entries.count() != std::max<std::int16_t>(1, count))
        fail("the menu has max(1, count) entries");
    std::set<std::string> seen;
    for (std::int16_t i = 1; i <= count; ++i) {
        const std::string tag = form.entries.at(i).tag;
        // A missing position reads as empty, as the list reads it.
        if (store.GetSetting("Recent Files", std::to_string(i), {}) != tag)
            fail("stored position i holds entry i's path");
        if (!seen.insert(tag).second && duplicates == Duplicates::Refused)
            fail("no path is listed twice");
        if (form.entries.at(i).caption != entryCaption(i, tag))
            fail("each caption follows from its path");
    }
}
