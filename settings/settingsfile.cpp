#include "settings/settingsfile.h"

#include "settings/folderof.h"
#include "settings/notsaved.h"
#include "settings/thisprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>
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

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error(message);
}

[[noreturn]] void failToSave(const std::string& path, int error)
{
    throw NotSaved(path, error);
}

[[noreturn]] void failToRead(const std::string& path, const std::string& why)
{
    fail("Could not read " + path + ": " + why + ". It was left as it is.");
}

[[noreturn]] void throwSystemError(int error)
{
    throw std::system_error(error, std::generic_category());
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

// Where a save of the file at path goes, however many links lead there, and what is there now.
LinkTarget linkTargetToSave(const std::string& path)
{
    try {
        return followLinks(path);
    } catch (const std::system_error& error) {
        failToSave(path, error.code().value());
    }
}

void syncFolder(const std::string& folder, const std::string& path)
{
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && ::fsync(descriptor) == 0;
    const int error = errno;
    if (descriptor >= 0)
        ::close(descriptor);
    if (!synced)
        failToSave(path, error);
}

void writeAll(int descriptor, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throwSystemError(written < 0 ? errno : EIO);
        done += std::size_t(written);
    }
}

constexpr const char* accessAcl = "system.posix_acl_access";

// Whether the user may write the file: its owner as its mode says, anyone else as the system
// tells. Sets errno where not.
bool writableByUser(const std::string& path, const struct stat& info)
{
    if (info.st_uid != thisUser())
        return ::access(path.c_str(), W_OK) == 0;
    errno = EACCES;
    return info.st_mode & S_IWUSR;
}

// A folder with a default ACL gives what is made in it the permissions the ACL names; elsewhere
// what the program makes is the user's alone.
mode_t creationMode(const std::string& folder, mode_t everyone)
{
    const bool inherits = ::getxattr(folder.c_str(), "system.posix_acl_default", nullptr, 0) > 0;
    return inherits ? everyone : everyone & 0700;
}

// A file system without permissions (FAT, some FUSE file systems) has none to keep.
bool withoutPermissions(int error)
{
    return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
}

// What a save keeps of the file it replaces, as editors that save by rename keep it: the mode,
// the access ACL where there is one (whose mask, not the group's bits, is what the mode shows of
// the group), and the group.
struct Permissions {
    mode_t mode = 0600;
    gid_t group = gid_t(-1);
    std::string acl;

    static Permissions of(const std::string& path, const struct stat& info)
    {
        Permissions permissions;
        permissions.mode = info.st_mode & 07777;
        permissions.group = info.st_gid;
        ssize_t size = ::getxattr(path.c_str(), accessAcl, nullptr, 0);
        if (size > 0) {
            permissions.acl.resize(std::size_t(size));
            size = ::getxattr(
                path.c_str(), accessAcl, permissions.acl.data(), permissions.acl.size());
            permissions.acl.resize(size > 0 ? std::size_t(size) : 0);
        }
        return permissions;
    }

    // Gives the open file these permissions, and returns what it is then. Throws
    // std::system_error where the file system has permissions and refuses them.
    struct stat giveTo(int descriptor) const
    {
        const bool aclGiven
            = !acl.empty() && ::fsetxattr(descriptor, accessAcl, acl.data(), acl.size(), 0) == 0;
        // An ACL the folder's default gave the new file would hide the mode's group bits.
        if (!aclGiven && acl.empty() && ::fremovexattr(descriptor, accessAcl) != 0
            && errno != ENODATA && !withoutPermissions(errno))
            throwSystemError(errno);
        struct stat made { };
        if (::fstat(descriptor, &made) != 0)
            throwSystemError(errno);
        // Where the user is no member of the group, the file stays in the user's own group.
        const bool regroup = group != gid_t(-1) && made.st_gid != group;
        if (regroup && ::fchown(descriptor, uid_t(-1), group) != 0 && errno != EPERM
            && !withoutPermissions(errno))
            throwSystemError(errno);
        // A change of group takes away the set-group-ID bit, which the mode gives back.
        if (!aclGiven && (regroup || (made.st_mode & 07777) != mode)
            && ::fchmod(descriptor, mode) != 0 && !withoutPermissions(errno))
            throwSystemError(errno);
        return made;
    }
};

// A new file, private until it is given other permissions, that only this process writes:
// "<target>.saving-<process>". A copy killed midway leaves one that a later copy can tell from the
// user's files.
class UnfinishedSave {
public:
    // Made with mode: for a file that is to take another's place, the user's alone until it is
    // given the other's permissions.
    UnfinishedSave(const std::string& target, mode_t mode)
        : name(target + ".saving-" + std::to_string(thisProcess()))
    {
        const auto create = [&] {
            return Descriptor(
                ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        };
        descriptor = create();
        // What a copy of the same process number left when it was killed.
        if (!descriptor && errno == EEXIST && ::unlink(name.c_str()) == 0)
            descriptor = create();
        if (!descriptor)
            throw NotSaved(folderOf(target), errno);
    }
    ~UnfinishedSave()
    {
        if (!finished)
            ::unlink(name.c_str());
    }
    UnfinishedSave(const UnfinishedSave&) = delete;
    UnfinishedSave& operator=(const UnfinishedSave&) = delete;

    // Writes bytes and makes them durable, with the given permissions where there are any.
    // Returns what the file is where it was given permissions.
    std::optional<struct stat> write(
        std::string_view bytes, const std::optional<Permissions>& permissions)
    {
        writeAll(descriptor.get(), bytes);
        std::optional<struct stat> made;
        if (permissions)
            made = permissions->giveTo(descriptor.get());
        // Permissions just given are metadata, which only fsync makes durable.
        if ((permissions ? ::fsync(descriptor.get()) : ::fdatasync(descriptor.get())) != 0)
            throwSystemError(errno);
        return made;
    }
    // Puts the file in place of finalName, and returns it open.
    Descriptor replace(const std::string& finalName)
    {
        if (::rename(name.c_str(), finalName.c_str()) != 0)
            throwSystemError(errno);
        finished = true;
        return std::move(descriptor);
    }
    // Gives the file a name no other file has; returns false where one has it.
    bool renameUnlessTaken(const std::string& finalName)
    {
        int moved
            = ::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, finalName.c_str(), RENAME_NOREPLACE);
        // Some file systems cannot rename without replacing; the name is then checked first.
        if (moved != 0 && errno == EINVAL) {
            struct stat info { };
            if (::lstat(finalName.c_str(), &info) == 0)
                return false;
            moved = ::rename(name.c_str(), finalName.c_str());
        }
        if (moved != 0 && errno == EEXIST)
            return false;
        if (moved != 0)
            throwSystemError(errno);
        finished = true;
        return true;
    }

private:
    std::string name;
    Descriptor descriptor;
    bool finished = false;
};

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

bool SettingsFile::exists() const
{
    struct stat info { };
    return ::lstat(filePath.c_str(), &info) == 0;
}

std::uint64_t SettingsFile::fingerprint(std::string_view bytes)
{
    return std::hash<std::string_view>{}(bytes);
}

std::optional<std::string> SettingsFile::readIfChanged(const LastSaved& lastSaved)
{
    Snapshot now = readWhole(last ? &*last : nullptr);
    const bool unchanged = last && now.bytes == last->bytes;
    // The first read has nothing to settle against; any change made from it is checked again.
    if (last && !unchanged && !(lastSaved && lastSaved() == fingerprint(now.bytes)))
        now = settled(std::move(now));
    last = std::move(now);
    seen = last->throughLink ? std::nullopt
                             : std::optional(LinkTarget{filePath,
                                 last->isOpen() ? std::optional(last->info) : std::nullopt});
    if (unchanged)
        return std::nullopt;
    return last->bytes;
}

// The file at the path, open, and what it was when opened. Where the path still leads to the file
// known is open on, that is read again rather than opened anew.
SettingsFile::Snapshot SettingsFile::openFile(const Snapshot* known) const
{
    struct stat found { };
    if (::lstat(filePath.c_str(), &found) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        failToRead(filePath, systemError(errno));
    }
    if (known && known->isOpen() && found.st_dev == known->info.st_dev
        && found.st_ino == known->info.st_ino)
        return {{}, known->file, found, false};
    if (!S_ISLNK(found.st_mode) && !S_ISREG(found.st_mode))
        failToRead(filePath, notASettingsFile(found.st_mode));
    // Without O_NONBLOCK, opening a named pipe that a link leads to would wait for a writer.
    Snapshot snapshot{{},
        std::make_shared<const Descriptor>(
            ::open(filePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)),
        {}, S_ISLNK(found.st_mode)};
    if (!snapshot.isOpen()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {{}, nullptr, {}, snapshot.throughLink};
        const int error = errno;
        struct stat info { };
        failToRead(filePath,
            error == ENXIO && ::stat(filePath.c_str(), &info) == 0 ? notASettingsFile(info.st_mode)
                                                                   : systemError(error));
    }
    ::fstat(snapshot.descriptor(), &snapshot.info);
    if (!S_ISREG(snapshot.info.st_mode))
        failToRead(filePath, notASettingsFile(snapshot.info.st_mode));
    return snapshot;
}

SettingsFile::Snapshot SettingsFile::readWhole(const Snapshot* known) const
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
SettingsFile::Snapshot SettingsFile::settled(Snapshot seen) const
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

void SettingsFile::makeFolder() const
{
    makeFolders(folderOf(filePath));
}

// The folder itself is tried first: only where it is missing are the folders above it looked at.
void SettingsFile::makeFolders(const std::string& folder) const
{
    const auto make = [&] {
        if (::mkdir(folder.c_str(), creationMode(folderOf(folder), 0777)) != 0)
            return errno;
        // A new folder survives a power cut only once the folder above it is on disk too.
        syncFolder(folderOf(folder), filePath);
        return 0;
    };
    int error = make();
    if (error == ENOENT && folder != folderOf(folder)) {
        makeFolders(folderOf(folder));
        error = make();
    }
    if (error != 0 && error != EEXIST)
        failToSave(folder, error);
}

void SettingsFile::replace(std::string_view bytes)
{
    // What the read that began this change found at the path is what is there: the lock keeps
    // other copies away, and an editor's change since is caught before the file is replaced.
    const auto [target, found]
        = seen ? *std::exchange(seen, std::nullopt) : linkTargetToSave(filePath);
    removeUnfinishedSaves(target);
    if (found && !S_ISREG(found->st_mode))
        fail("Could not save the settings to " + target + ": " + notASettingsFile(found->st_mode)
            + '.');
    // Root may write anywhere; anyone else finds a settings file made read-only left as it is.
    if (found && thisUser() != 0 && !writableByUser(target, *found))
        failToSave(target, errno);
    try {
        std::optional<UnfinishedSave> save;
        const mode_t mode = found ? 0600 : creationMode(folderOf(target), 0666);
        try {
            save.emplace(target, mode);
        } catch (const NotSaved& failure) {
            // The folder was moved away or deleted since the lock was taken in it.
            if (failure.error != ENOENT || target != filePath)
                throw;
            makeFolder();
            save.emplace(target, mode);
        }
        const std::optional<struct stat> made = save->write(
            bytes, found ? std::optional(Permissions::of(target, *found)) : std::nullopt);
        // The last moment to find that an editor wrote the file in place after it was read: its
        // text would go with the replaced file.
        if (last && last->isOpen() && !holds(last->descriptor(), last->bytes))
            throw BeingWritten(beingWritten(filePath));
        Descriptor written = save->replace(target);
        syncFolder(folderOf(target), target);
        // The file just written is the one the next read finds there, unless someone replaces it.
        if (last)
            replaced = std::move(last->file);
        last = Snapshot{
            std::string(bytes), std::make_shared<const Descriptor>(std::move(written)), {}, false};
        if (made)
            last->info = *made;
    } catch (const std::system_error& error) {
        failToSave(target, error.code().value());
    }
}

void SettingsFile::endTurn()
{
    seen.reset();
    replaced.reset();
}

std::string SettingsFile::keepAside()
{
    const std::string target = linkTargetToSave(filePath).path;
    const std::string stem = target + ".unreadable-" + timeOfDay();
    const auto nameOf = [&](int n) { return n == 1 ? stem : stem + '-' + std::to_string(n); };
    // A second name for the file as it was read keeps every byte and its permissions, takes no
    // space and cannot be half written.
    if (last && last->isOpen()) {
        const std::string descriptorPath = "/proc/self/fd/" + std::to_string(last->descriptor());
        for (int n = 1; n <= 100; ++n) {
            if (::linkat(AT_FDCWD, descriptorPath.c_str(), AT_FDCWD, nameOf(n).c_str(),
                    AT_SYMLINK_FOLLOW)
                == 0) {
                syncFolder(folderOf(target), target);
                return nameOf(n);
            }
            if (errno != EEXIST)
                break;
        }
    }
    // Where links cannot be made, a copy with the same permissions, complete or not at all.
    try {
        UnfinishedSave copy(target, 0600);
        struct stat kept { };
        copy.write(last ? std::string_view(last->bytes) : std::string_view(),
            last && last->isOpen() && ::fstat(last->descriptor(), &kept) == 0
                ? Permissions::of("/proc/self/fd/" + std::to_string(last->descriptor()), kept)
                : Permissions());
        for (int n = 1; n <= 100; ++n) {
            if (copy.renameUnlessTaken(nameOf(n))) {
                syncFolder(folderOf(target), target);
                return nameOf(n);
            }
        }
        throwSystemError(EEXIST);
    } catch (const std::system_error& error) {
        failToSave(folderOf(target), error.code().value());
    }
}

// What copies killed while they saved left is removed once, at the first save.
void SettingsFile::removeUnfinishedSaves(const std::string& target)
{
    if (std::exchange(unfinishedSavesRemoved, true))
        return;
    const std::string folder = folderOf(target);
    const std::string prefix = target.substr(folder.size() + 1) + ".saving-";
    DIR* entries = ::opendir(folder.c_str());
    if (!entries)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const long owner = std::strtol(entry->d_name + prefix.size(), nullptr, 10);
        if (owner > 0 && ::kill(pid_t(owner), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
    }
    ::closedir(entries);
}

LinkTarget followLinks(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (::lstat(target.c_str(), &info) != 0)
            return {target, std::nullopt};
        if (!S_ISLNK(info.st_mode))
            return {target, info};
        std::string link(std::size_t(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length < 0)
            throwSystemError(errno);
        link.resize(std::size_t(length));
        target = link.starts_with('/') ? link : folderOf(target) + '/' + link;
    }
    throwSystemError(ELOOP);
}

std::string linkTarget(const std::string& path)
{
    return followLinks(path).path;
}
