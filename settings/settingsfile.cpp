#include "settings/settingsfile.h"

#include "settings/atomicreplace.h"
#include "settings/notsaved.h"
#include "settings/thisprocess.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// How long a changed file must hold the same bytes before it is taken, and how long a writer is
// waited for. A program that saves in place (an editor that truncates the file and writes it
// again) takes milliseconds; one that takes a second is not waited for.
constexpr std::chrono::milliseconds settleTime{100};
constexpr std::chrono::milliseconds writerPatience{1000};

// The system's words for an error, except where a person would put it plainer.
std::string systemError(int error)
{
    switch (error) {
    case ENOSPC:
        return "the disk is full";
    case EDQUOT:
        return "your disk quota is used up";
    default:
        return std::strerror(error);
    }
}

[[noreturn]] void failToRead(const std::string& path, const std::string& why)
{
    throw std::runtime_error("Could not read " + path + ": " + why + ". It was left as it is.");
}

bool sameTime(const timespec& one, const timespec& other)
{
    return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
}

// The same file, untouched as far as its stamp can tell.
bool sameStamp(const struct stat& one, const struct stat& other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino && one.st_size == other.st_size
        && sameTime(one.st_mtim, other.st_mtim) && sameTime(one.st_ctim, other.st_ctim);
}

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "no regular file";
}

std::string notASettingsFile(mode_t mode)
{
    return std::string("it is ") + kindOf(mode) + ", not a settings file";
}

std::string beingWritten(const std::string& path)
{
    return "The settings file " + path
        + " is being written by another program, so nothing was changed. Please try again.";
}

constexpr const char* tooLarge = "it is larger than 16 MiB, too large for a settings file";

// Whether the open file holds exactly these bytes.
bool holds(int descriptor, std::string_view bytes)
{
    std::string found(bytes.size() + 1, '\0');
    ssize_t got;
    do
        got = ::pread(descriptor, found.data(), found.size(), 0);
    while (got < 0 && errno == EINTR);
    return got == ssize_t(bytes.size()) && std::string_view(found).substr(0, bytes.size()) == bytes;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? folder + name : folder + '/' + name;
}

std::string timeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d-%H%M%S", &local);
    return text;
}

} // namespace

SettingsFile::SettingsFile(std::string path)
    : filePath(std::move(path))
{
}

std::uint64_t SettingsFile::fingerprint(std::string_view bytes)
{
    return std::hash<std::string_view>{}(bytes);
}

Way& SettingsFile::way()
{
    if (!walked)
        walked.emplace(filePath);
    return *walked;
}

Way& SettingsFile::walkAgainIfMoved()
{
    if (walked && !walked->stillLeadsTo(filePath))
        walked.reset();
    Way& reached = way();
    // A file another user owns or may change is refused before anything is made beside it.
    struct stat info { };
    const Descriptor file(reached.fileFolder() < 0
            ? -1
            : ::openat(
                reached.fileFolder(), reached.fileName().c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (file && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode))
        reached.trustFile(file.get(), info);
    return reached;
}

bool SettingsFile::exists()
{
    struct stat info { };
    try {
        const Way& reached = way();
        return reached.fileFolder() >= 0
            && ::fstatat(
                   reached.fileFolder(), reached.fileName().c_str(), &info, AT_SYMLINK_NOFOLLOW)
            == 0;
    } catch (const NotSaved& failure) {
        return failure.error != ENOENT;
    }
}

std::optional<std::string> SettingsFile::readIfChanged(const LastSaved& lastSaved)
{
    Snapshot now = readWhole(last ? &*last : nullptr);
    const bool unchanged = last && now.bytes == last->bytes;
    // The first read has nothing to settle against; any change made from it is checked again.
    if (last && !unchanged && !(lastSaved && lastSaved() == fingerprint(now.bytes)))
        now = settled(std::move(now));
    last = std::move(now);
    if (unchanged)
        return std::nullopt;
    return last->bytes;
}

// The file at its name, open, and what it was when opened. Where the name still leads to the file
// known is open on, that is read again rather than opened anew.
SettingsFile::Snapshot SettingsFile::openFile(const Snapshot* known)
{
    const Way& reached = way();
    const int folder = reached.fileFolder();
    const char* name = reached.fileName().c_str();
    struct stat found { };
    if (folder < 0 || ::fstatat(folder, name, &found, AT_SYMLINK_NOFOLLOW) != 0) {
        if (folder < 0 || errno == ENOENT)
            return {};
        failToRead(filePath, systemError(errno));
    }
    if (known && known->isOpen() && found.st_dev == known->info.st_dev
        && found.st_ino == known->info.st_ino)
        return {{}, known->file, found};
    if (!S_ISREG(found.st_mode))
        failToRead(filePath, notASettingsFile(found.st_mode));
    // Without O_NONBLOCK, opening a named pipe put in the file's place would wait for a writer.
    Snapshot snapshot{{},
        std::make_shared<const Descriptor>(
            ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC))};
    if (!snapshot.isOpen()) {
        if (errno == ENOENT)
            return {};
        failToRead(filePath, systemError(errno));
    }
    ::fstat(snapshot.descriptor(), &snapshot.info);
    if (!S_ISREG(snapshot.info.st_mode))
        failToRead(filePath, notASettingsFile(snapshot.info.st_mode));
    reached.trustFile(snapshot.descriptor(), snapshot.info);
    return snapshot;
}

SettingsFile::Snapshot SettingsFile::readWhole(const Snapshot* known)
{
    // A file edited in place while it is read is read again, so no mix of two versions is taken.
    for (int attempt = 1; attempt <= 5; ++attempt) {
        Snapshot snapshot = openFile(known);
        if (!snapshot.isOpen())
            return snapshot;
        const std::size_t size = std::size_t(snapshot.info.st_size);
        if (size > maximumSize)
            failToRead(filePath, tooLarge);
        std::string& bytes = snapshot.bytes;
        // A byte more than the file holds, so that one call reads a file to its end.
        bytes.resize(size + 1);
        for (std::size_t done = 0;;) {
            if (done == bytes.size()) {
                if (done > maximumSize)
                    failToRead(filePath, tooLarge);
                bytes.resize(std::min(2 * done, maximumSize + 1));
            }
            const ssize_t got = ::pread(
                snapshot.descriptor(), bytes.data() + done, bytes.size() - done, off_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failToRead(filePath, systemError(errno));
            const bool end = got == 0
                || (done + std::size_t(got) >= size && done + std::size_t(got) < bytes.size());
            done += std::size_t(got);
            if (end) {
                bytes.resize(done);
                break;
            }
        }
        // The bytes known already are no mix of two versions, whatever the stamp says.
        if (known && bytes == known->bytes)
            return snapshot;
        struct stat after { };
        ::fstat(snapshot.descriptor(), &after);
        if (sameStamp(snapshot.info, after))
            return snapshot;
    }
    throw BeingWritten(beingWritten(filePath));
}

// A writer may be half-way, with the file empty, cut short or not there for a moment: the file is
// taken once it has held the same bytes for settleTime, and not at all when it has not settled
// within writerPatience.
SettingsFile::Snapshot SettingsFile::settled(Snapshot seen)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + writerPatience;
    Clock::time_point stillSince = Clock::now();
    for (;;) {
        std::this_thread::sleep_for(settleTime / 4);
        Snapshot again = readWhole(&seen);
        const Clock::time_point now = Clock::now();
        const bool still = again.bytes == seen.bytes && again.isOpen() == seen.isOpen()
            && (!again.isOpen() || sameStamp(again.info, seen.info));
        if (still && now - stillSince >= settleTime)
            return again;
        if (!still) {
            seen = std::move(again);
            stillSince = now;
        }
        if (now >= giveUp)
            throw BeingWritten(beingWritten(filePath));
    }
}

void SettingsFile::makeFolder()
{
    way().makeFolders();
}

void SettingsFile::replace(std::string_view bytes)
{
    Way& reached = way();
    if (!reached.complete())
        reached.makeFolders();
    const std::string target = joined(reached.fileFolderPath(), reached.fileName());
    if (reached.fileFolder() < 0)
        throw NotSaved(reached.fileFolderPath(), ENOENT);
    const int folder = reached.fileFolder();
    if (!std::exchange(unfinishedSavesRemoved, true))
        removeUnfinishedSaves(folder, reached.fileName());
    // What the read that began this change found is what is there: the lock keeps other copies
    // away, and an editor's change since is caught before the file is replaced.
    const bool found = last && last->isOpen();
    // Root may write anywhere; anyone else finds a settings file made read-only left as it is.
    if (found && thisUser() != 0
        && (last->info.st_uid == thisUser()
                ? !(last->info.st_mode & S_IWUSR)
                : ::faccessat(folder, reached.fileName().c_str(), W_OK, AT_EACCESS) != 0))
        throw NotSaved(target, EACCES, last->info.st_uid);
    try {
        UnfinishedSave save(folder, reached.fileFolderPath(), reached.fileName(),
            !found && hasDefaultAcl(folder) ? 0666 : 0600);
        const struct stat made = save.write(bytes,
            found ? std::optional(Permissions::of(last->descriptor(), last->info)) : std::nullopt);
        // The last moment to find that an editor wrote the file in place after it was read: its
        // text would go with the replaced file.
        if (found && !holds(last->descriptor(), last->bytes))
            throw BeingWritten(beingWritten(filePath));
        Descriptor written = save.replace();
        // The file just written is the one the next read finds there, unless someone replaces it.
        if (last)
            replaced = std::move(last->file);
        last = Snapshot{
            std::string(bytes), std::make_shared<const Descriptor>(std::move(written)), made};
    } catch (const std::system_error& error) {
        throw NotSaved(target, error.code().value());
    }
}

std::string SettingsFile::keepAside()
{
    const Way& reached = way();
    const int folder = reached.fileFolder();
    const std::string stem = reached.fileName() + ".unreadable-" + timeOfDay();
    const auto nameOf = [&](int n) { return n == 1 ? stem : stem + '-' + std::to_string(n); };
    const auto keptAs = [&](int n) { return joined(reached.fileFolderPath(), nameOf(n)); };
    // A second name for the file as it was read keeps every byte and its permissions, takes no
    // space and cannot be half written.
    if (last && last->isOpen()) {
        const std::string descriptorPath = "/proc/self/fd/" + std::to_string(last->descriptor());
        for (int n = 1; n <= 100; ++n) {
            if (::linkat(
                    AT_FDCWD, descriptorPath.c_str(), folder, nameOf(n).c_str(), AT_SYMLINK_FOLLOW)
                == 0) {
                syncFolder(folder, reached.fileFolderPath());
                return keptAs(n);
            }
            if (errno != EEXIST)
                break;
        }
    }
    // Where links cannot be made, a copy with the same permissions, complete or not at all.
    try {
        UnfinishedSave copy(folder, reached.fileFolderPath(), reached.fileName(), 0600);
        copy.write(last ? std::string_view(last->bytes) : std::string_view(),
            last && last->isOpen() ? Permissions::of(last->descriptor(), last->info)
                                   : Permissions());
        for (int n = 1; n <= 100; ++n) {
            if (copy.renameUnlessTaken(nameOf(n)))
                return keptAs(n);
        }
        throw std::system_error(EEXIST, std::generic_category());
    } catch (const std::system_error& error) {
        throw NotSaved(reached.fileFolderPath(), error.code().value());
    }
}
