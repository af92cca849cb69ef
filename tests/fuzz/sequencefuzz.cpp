// Applies random opens, promotions, maximums, restarts, other copies' saves, reloads, saves that
// fail for a while and tries to save what they kept to the list over in-memory fakes, and checks
// the list after every step.
#include "tests/fuzz/listinvariants.h"
#include "tests/support/fakes.h"

#include <array>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>

namespace {

// Few enough that opens often meet paths already listed.
constexpr std::array knownPaths{"/a", "/b", "/home/alex/c.txt", "C:\\d.doc", "/e & f",
    "/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u.txt", "/v", "/w"};

struct Copy : WindowlessCopy {
    explicit Copy(FakeStore& store)
        : WindowlessCopy(store)
    {
        hix.startUp(form);
    }
};

std::string pathFrom(FuzzedDataProvider& data)
{
    if (data.ConsumeBool())
        return data.PickValueInArray(knownPaths);
    std::string path = data.ConsumeRandomLengthString(40);
    // The file dialog never answers with an empty path.
    return path.empty() ? "/" : path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    FakeStore store;
    auto copy = std::make_unique<Copy>(store);
    checkListInvariants(*copy, store);

    while (data.remaining_bytes() > 0) {
        switch (data.ConsumeIntegralInRange(0, 7)) {
        case 0:
            copy->open(pathFrom(data));
            break;
        case 1:
            if (copy->hix.state().entryCount > 0) {
                const auto index
                    = data.ConsumeIntegralInRange<std::int16_t>(1, copy->form.entries.count());
                copy->open(copy->form.entries.tag(index));
            }
            break;
        case 2:
            copy->submitMaximum(data.ConsumeBool()
                    ? std::to_string(data.ConsumeIntegralInRange(-2, 23))
                    : data.ConsumeRandomLengthString(8));
            break;
        case 3:
            copy = std::make_unique<Copy>(store);
            break;
        case 4: {
            // Another running copy saves a change of its own.
            FakeStore theirs;
            theirs.values = theirs.saved = store.saved;
            Copy other(theirs);
            other.open(pathFrom(data));
            store.outside = theirs.saved;
            break;
        }
        case 5:
            copy->hix.refreshFromStore();
            break;
        case 6:
            store.keptBecause = store.keptBecause.empty() ? "the disk is full" : "";
            break;
        case 7:
            copy->hix.saveKept();
            break;
        }
        checkListInvariants(*copy, store);
    }
    return 0;
}
