#pragma once

#include "settings/descriptor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// An exclusive flock on a file that running copies share. The kernel drops the lock of a copy
// that ends, however it ends, so no lock outlives its holder. A copy that finds the lock taken
// waits in the kernel, which wakes it the moment the lock is free. The file holds two marks, which
// every turn leaves as it ends, with the save it made: the holder's, so that a waiter tells one
// holder that keeps the lock from many that take turns, and the fingerprint of what the last copy
// to save wrote, so that a reader knows a whole save.
class LockFile {
public:
    enum class Outcome { Locked, HeldTooLong, TurnsTooLong };

    // The lock file name, beside the settings file in its folder.
    explicit LockFile(std::string name);

    // Waits for the lock on the file in folder (open, at folderPath), calling waiting at every look
    // at whose turn it is; gives up when one holder has kept it for holderPatience, or when the
    // turns of others have taken all of patience. Throws NotSaved where the lock file cannot be
    // made, and std::runtime_error, naming the file, when it cannot be locked at all.
    Outcome lock(int folder, const std::string& folderPath,
        std::chrono::milliseconds holderPatience, std::chrono::milliseconds patience,
        const std::function<void()>& waiting = {});
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
    std::uint64_t turns = 0;
    // Whether this turn has left its marks.
    bool marked = false;
};
