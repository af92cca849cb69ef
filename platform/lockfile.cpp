#include "platform/lockfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

LockFile::LockFile(std::string path)
    : path(std::move(path))
{
}

LockFile::~LockFile()
{
    unlock();
}

bool LockFile::lock(std::chrono::milliseconds patience)
{
    const auto fail = [&](const char* why) {
        throw std::runtime_error("Could not lock " + path + ": " + why + '.');
    };
    // Whatever sits where the lock belongs is opened without waiting and used only when it is a
    // file of its own, never through a link.
    const int opened = ::open(
        path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (opened < 0)
        fail(std::strerror(errno));
    struct stat info { };
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(opened);
        fail("it is not a regular file");
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if ((error == EWOULDBLOCK || error == EINTR)
            && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ::close(opened);
        if (error == EWOULDBLOCK)
            return false;
        fail(std::strerror(error));
    }
    unlock();
    descriptor = opened;
    return true;
}

void LockFile::unlock()
{
    if (descriptor >= 0)
        ::close(std::exchange(descriptor, -1));
}
