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

    explicit LockFile(std::string path);

    // Waits for the lock, calling waiting at every look at whose turn it is; gives up when one
    // holder has kept it for holderPatience, or when the turns of others have taken all of
    // patience. Throws NotSaved where the lock file cannot be made, and std::runtime_error,
    // naming the file, when it cannot be locked at all.
    Outcome lock(std::chrono::milliseconds holderPatience, std::chrono::milliseconds patience,
        const std::function<void()>& waiting = {});
    void unlock();

    // Notes, while the lock is held, the fingerprint of the bytes just saved.
    void recordSave(std::uint64_t fingerprint);
    // The fingerprint the last copy to save noted; none when there is none to be had.
    std::optional<std::uint64_t> lastSave() const;

private:
    std::string holderMarkText() const;

    std::string path;
    Descriptor held;
    std::uint64_t turns = 0;
    // Whether this turn has left its marks.
    bool marked = false;
};
