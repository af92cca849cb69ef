#include "settings/settingsfile.h"

#include "list/settingsstore.h"
#include "settings/atomicreplace.h"
#include "settings/failure.h"
#include "settings/ini/inicodec.h"
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

// Whole by its own evidence, as a writer leaves the file once it is done: ending with a line end,
// every line read, and the count matching the entries. An empty file is most often one an editor
// has just cut short; a file removed is gone at once.
bool isWhole(const std::string& bytes, bool exists)
{
    if (!exists)
        return true;
    if (bytes.empty() || bytes.back() != '\n')
        return false;
    const ini::Parsed parsed = ini::parse(bytes);
    const auto count = parsed.values.find(storedList::configSection + '/' + storedList::countKey);
    if (!parsed.faithful() || count == parsed.values.end() || count->second.empty()
        || count->second.size() > 5
        || count->second.find_first_not_of("0123456789") != std::string::npos)
        return false;
    for (int position = std::stoi(count->second); position > 0; --position) {
        if (!parsed.values.contains(
                storedList::recentFilesSection + '/' + std::to_string(position)))
            return false;
    }
    return true;
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

SettingsFile::Read SettingsFile::read(
    std::optional<std::uint64_t> held, const LastSaved& lastSaved, bool wait)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + writerPatience;
    for (;;) {
        last = readWhole(last ? &*last : nullptr);
        const std::uint64_t print = fingerprint(last->bytes);
        if (held && print == *held) {
            candidate.reset();
            return {Read::Outcome::Unchanged, {}};
        }
        const Clock::time_point now = Clock::now();
        if (!candidate || candidate->fingerprint != print || candidate->exists != last->isOpen())
            candidate = Candidate{print, last->isOpen(), now};
        const auto still = now - candidate->since;
        if (!held || (lastSaved && lastSaved() == print)
            || (still >= settleTime && isWhole(last->bytes, last->isOpen()))
            || still >= writerPatience) {
            candidate.reset();
            return {Read::Outcome::Taken, last->bytes};
        }
        if (!wait)
            return {Read::Outcome::Settling, {}};
        if (now >= giveUp)
            throw Failure{Failure::Cause::BeingWritten, filePath};
        std::this_thread::sleep_for(settleTime / 4);
    }
}

// The file at its name, open, and what it was when opened. Where the name still leads to the file
// known is open on, that is read again rather than opened anew.
SettingsFile::Snapshot SettingsFile::openFile(const Snapshot* known)
{
    // A way that leads nowhere holds no list to read; a save says why it cannot make it.
    const Way* walkedTo = nullptr;
    try {
        walkedTo = &way();
    } catch (const Failure& failure) {
        if (failure.cause != Failure::Cause::Refused
            || (failure.error != ENOENT && failure.error != ENOTDIR))
            throw;
        return {};
    }
    const Way& reached = *walkedTo;
    const int folder = reached.fileFolder();
    const char* name = reached.fileName().c_str();
    struct stat found { };
    if (folder < 0 || ::fstatat(folder, name, &found, AT_SYMLINK_NOFOLLOW) != 0) {
        if (folder < 0 || errno == ENOENT)
            return {};
        throw Failure{Failure::Cause::Unreadable, filePath, errno};
    }
    if (known && known->isOpen() && found.st_dev == known->info.st_dev
        && found.st_ino == known->info.st_ino)
        return {{}, known->file, found};
    if (!S_ISREG(found.st_mode))
        throw Failure{Failure::Cause::Unreadable, filePath, 0, 0, found.st_mode};
    // Without O_NONBLOCK, opening a named pipe put in the file's place would wait for a writer.
    Snapshot snapshot{{},
        std::make_shared<const Descriptor>(
            ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC))};
    if (!snapshot.isOpen()) {
        if (errno == ENOENT)
            return {};
        throw Failure{Failure::Cause::Unreadable, filePath, errno};
    }
    ::fstat(snapshot.descriptor(), &snapshot.info);
    if (!S_ISREG(snapshot.info.st_mode))
        throw Failure{Failure::Cause::Unreadable, filePath, 0, 0, snapshot.info.st_mode};
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
            throw Failure{Failure::Cause::Unreadable, filePath, EFBIG};
        std::string& bytes = snapshot.bytes;
        // A byte more than the file holds, so that one call reads a file to its end.
        bytes.resize(size + 1);
        for (std::size_t done = 0;;) {
            if (done == bytes.size()) {
                if (done > maximumSize)
                    throw Failure{Failure::Cause::Unreadable, filePath, EFBIG};
                bytes.resize(std::min(2 * done, maximumSize + 1));
            }
            const ssize_t got = ::pread(
                snapshot.descriptor(), bytes.data() + done, bytes.size() - done, off_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw Failure{Failure::Cause::Unreadable, filePath, errno};
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
    throw Failure{Failure::Cause::BeingWritten, filePath};
}

bool SettingsFile::replace(std::string_view bytes, std::optional<std::uint64_t> madeOn)
{
    Way& reached = way();
    if (!reached.complete())
        reached.makeFolders();
    const std::string target = joined(reached.fileFolderPath(), reached.fileName());
    if (reached.fileFolder() < 0)
        throw Failure::refused(reached.fileFolderPath(), ENOENT);
    const int folder = reached.fileFolder();
    if (!std::exchange(unfinishedSavesRemoved, true))
        removeUnfinishedSaves(folder, reached.fileName());
    if (last && fingerprint(last->bytes) != madeOn)
        return false;
    const bool found = last && last->isOpen();
    // Root may write anywhere; anyone else finds a settings file made read-only left as it is.
    if (found && thisUser() != 0
        && (last->info.st_uid == thisUser()
                ? !(last->info.st_mode & S_IWUSR)
                : ::faccessat(folder, reached.fileName().c_str(), W_OK, AT_EACCESS) != 0))
        throw Failure::refused(target, EACCES, last->info.st_uid);
    try {
        UnfinishedSave save(folder, reached.fileFolderPath(), reached.fileName(),
            !found && hasDefaultAcl(folder) ? 0666 : 0600);
        const struct stat made = save.write(bytes,
            found ? std::optional(Permissions::of(last->descriptor(), last->info)) : std::nullopt);
        std::optional<UnfinishedSave::Expected> expected;
        if (found)
            expected = {last->info.st_dev, last->info.st_ino,
                [this] { return holds(last->descriptor(), last->bytes); }};
        std::optional<Descriptor> written = save.replace(expected);
        if (!written)
            return false;
        // The file just written is the one the next read finds there, unless someone replaces it.
        if (last)
            replaced = std::move(last->file);
        last = Snapshot{
            std::string(bytes), std::make_shared<const Descriptor>(std::move(*written)), made};
        return true;
    } catch (const std::system_error& error) {
        throw Failure::refused(target, error.code().value());
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
        throw Failure::refused(reached.fileFolderPath(), error.code().value());
    }
}
