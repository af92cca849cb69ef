#include "settings/lockfile.h"

#include "settings/failure.h"
#include "settings/thisprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

// How often a waiter looks at whose mark the lock file holds.
constexpr std::chrono::milliseconds lookInterval{250};

// Each mark is a line of its own place and width: the holder's, then the last save's.
constexpr std::size_t markWidth = 32;
constexpr off_t holderMark = 0;
constexpr std::size_t saveMark = markWidth;
constexpr std::string_view savePrefix = "saved ";

std::string mark(std::string text)
{
    text.resize(markWidth - 1, ' ');
    return text + '\n';
}

void writeMarks(int descriptor, off_t place, const std::string& marks)
{
    // A mark that cannot be written (on a full disk) only makes the others more careful: waiters
    // give up sooner, and readers let a save settle.
    [[maybe_unused]] const ssize_t written
        = ::pwrite(descriptor, marks.data(), marks.size(), place);
}

void wakeUp(int)
{
}

// Wakes this thread out of a blocking call at every interval, as util-linux's flock -w does: a
// timer signals the thread, whose handler does nothing, so the call returns with EINTR.
class WakeUps {
public:
    explicit WakeUps(std::chrono::milliseconds interval)
    {
        static const int signal = [] {
            const int chosen = SIGRTMIN + 1;
            struct sigaction action { };
            action.sa_handler = wakeUp;
            sigemptyset(&action.sa_mask);
            // Without SA_RESTART, so that the call returns rather than going on waiting.
            ::sigaction(chosen, &action, nullptr);
            return chosen;
        }();
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = signal;
        // glibc has no name for the thread id of SIGEV_THREAD_ID.
        event._sigev_un._tid = ::gettid();
        if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
            throw std::system_error(errno, std::generic_category());
        const timespec every{interval.count() / 1000, long(interval.count() % 1000) * 1'000'000};
        const itimerspec periodic{every, every};
        ::timer_settime(timer, 0, &periodic, nullptr);
    }
    ~WakeUps() { ::timer_delete(timer); }
    WakeUps(const WakeUps&) = delete;
    WakeUps& operator=(const WakeUps&) = delete;

private:
    timer_t timer{};
};

// Copies that wait line up behind a lock on the file's first byte, and whoever holds it takes the
// lock next: a copy that lets go of the lock and wants it again at once queues behind those
// already waiting instead of taking it back ahead of them.
bool queue(int descriptor, int command)
{
    struct flock first { };
    first.l_type = F_WRLCK;
    first.l_whence = SEEK_SET;
    first.l_len = 1;
    return ::fcntl(descriptor, command, &first) == 0;
}

void leaveQueue(int descriptor)
{
    struct flock first { };
    first.l_type = F_UNLCK;
    first.l_whence = SEEK_SET;
    first.l_len = 1;
    ::fcntl(descriptor, F_OFD_SETLK, &first);
}

std::string marksIn(int descriptor)
{
    char marks[2 * markWidth];
    const ssize_t got = ::pread(descriptor, marks, sizeof marks, 0);
    return got > 0 ? std::string(marks, std::size_t(got)) : std::string();
}

} // namespace

LockFile::LockFile(std::string name)
    : name(std::move(name))
{
}

void LockFile::lock(int folder, const std::string& folderPath, const std::function<void()>& waiting)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const std::string path = folderPath + '/' + name;
    const auto fail = [&](int error) { throw Failure::refused(path, error); };
    for (;;) {
        // Whatever sits where the lock belongs is opened without waiting and used only when it is
        // a file of its own, never through a link.
        Descriptor opened(::openat(folder, name.c_str(),
            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
        if (!opened && errno != ELOOP)
            throw Failure::refusedIn(folder, folderPath, errno);
        if (!opened)
            fail(errno);
        struct stat info { };
        if (::fstat(opened.get(), &info) != 0 || !S_ISREG(info.st_mode))
            fail(EISDIR);

        const int descriptor = opened.get();
        // Where the file system has no locks on byte ranges, copies wait without the queue.
        const bool queuedAtOnce = queue(descriptor, F_OFD_SETLK);
        const bool queues = queuedAtOnce || errno == EAGAIN || errno == EACCES;
        if ((queues && !queuedAtOnce) || ::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EACCES)
                fail(errno);
            std::string holder = marksIn(descriptor);
            Clock::time_point holderSeen = Clock::now();
            std::optional<WakeUps> wakeUps;
            try {
                wakeUps.emplace(lookInterval);
            } catch (const std::system_error& error) {
                fail(error.code().value());
            }
            const auto giveUpIfTooLong = [&] {
                if (errno != EINTR)
                    fail(errno);
                if (waiting)
                    waiting();
                const Clock::time_point now = Clock::now();
                if (std::string mark = marksIn(descriptor); mark != holder) {
                    holder = std::move(mark);
                    holderSeen = now;
                } else if (now - holderSeen >= holderPatience) {
                    throw Failure{Failure::Cause::HeldTooLong, path};
                }
                if (now - start >= turnsPatience)
                    throw Failure{Failure::Cause::TurnsTooLong, path};
            };
            while (queues && !queue(descriptor, F_OFD_SETLKW))
                giveUpIfTooLong();
            while (::flock(descriptor, LOCK_EX) != 0)
                giveUpIfTooLong();
        }
        if (queues)
            leaveQueue(descriptor);
        // The lock is the lock file at its name: one a clean-up removed or replaced while this copy
        // waited on it keeps no other copy out.
        struct stat named { };
        if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == info.st_dev && named.st_ino == info.st_ino) {
            ++turns;
            marked = false;
            held = std::move(opened);
            heldDevice = info.st_dev;
            heldInode = info.st_ino;
            return;
        }
    }
}

void LockFile::keepAtName(
    int folder, const std::string& folderPath, const std::function<void()>& waiting)
{
    struct stat named { };
    if (held && ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && named.st_dev == heldDevice && named.st_ino == heldInode)
        return;
    held.reset();
    lock(folder, folderPath, waiting);
}

void LockFile::unlock()
{
    if (held && !marked)
        writeMarks(held.get(), holderMark, holderMarkText());
    held.reset();
}

void LockFile::recordSave(std::uint64_t fingerprint)
{
    if (!held)
        return;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fingerprint));
    writeMarks(held.get(), holderMark, holderMarkText() + mark(std::string(savePrefix) + hex));
    marked = true;
}

std::string LockFile::holderMarkText() const
{
    return mark("holder " + std::to_string(thisProcess()) + ' ' + std::to_string(turns));
}

std::optional<std::uint64_t> LockFile::lastSave(int folder) const
{
    const Descriptor opened(held ? -1
                                 : ::openat(folder, name.c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::string marks = marksIn(held ? held.get() : opened.get());
    if (marks.size() < 2 * markWidth || marks.compare(saveMark, savePrefix.size(), savePrefix) != 0)
        return std::nullopt;
    return std::strtoull(marks.c_str() + saveMark + savePrefix.size(), nullptr, 16);
}
