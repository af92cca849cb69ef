#pragma once

#include <chrono>
#include <string>

// An exclusive flock on a file that running copies share. The kernel drops the lock of a copy
// that ends, however it ends, so no lock outlives its holder; nothing waits for it without limit.
class LockFile {
public:
    explicit LockFile(std::string path);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Returns false when another holder kept the lock for all of patience; throws
    // std::runtime_error, naming the file, when it cannot be locked at all.
    bool lock(std::chrono::milliseconds patience);
    void unlock();

private:
    std::string path;
    int descriptor = -1;
};
