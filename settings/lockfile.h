#pragma once

#include "settings/descriptor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

// An exclusive flock on the lock file at its name, which the kernel drops when its holder ends
// (docs/design.md, P2). The file holds two marks, left as each turn ends: the holder's, so that a
// waiter tells one holder that keeps the lock from many that take turns, and the fingerprint of
// what the last copy to save wrote, so that a reader knows a whole save.
class LockFile {
public:
    // A save takes milliseconds, a tenth of a second on a slow disk: a copy that holds the lock
    // for two seconds is stuck (on a disk that stopped answering, or stopped in a debugger), and
    // ten seconds of other copies' turns is longer than any burst of a person's actions.
    static constexpr std::chrono::seconds holderPatience{2};
    static constexpr std::chrono::seconds turnsPatience{10};

    // The lock file name, beside the settings file in its folder.
    explicit LockFile(std::string name);

    // Waits for the lock on the file in folder (open, at folderPath), calling waiting at every look
    // at whose turn it is. Throws a Failure when one holder has kept it for holderPatience, when
    // the turns of others have taken turnsPatience, or where it cannot be had at all.
    void lock(int folder, const std::string& folderPath, const std::function<void()>& waiting = {});
    // Makes sure, right before a save, that the lock held is on the lock file at its name: where a
    // clean-up removed it meanwhile, another copy may have taken the lock on a new one, and this
    // copy takes that in turn, as lock() does.
    void keepAtName(
        int folder, const std::string& folderPath, const std::function<void()>& waiting = {});
    void unlock();

    // Notes, while the lock is held, the fingerprint of the bytes just saved.
    void recordSave(std::uint64_t fingerprint);
    // The fingerprint the last copy to save noted in the lock file in folder; none when there is
    // none to be had.
    std::optional<std::uint64_t> lastSave(int folder) const;

private:
    std::string holderMarkText() const;

    std::string name;
    Descriptor held;
    dev_t heldDevice = 0;
    ino_t heldInode = 0;
    std::uint64_t turns = 0;
    // Whether this turn has left its marks.
    bool marked = false;
};
