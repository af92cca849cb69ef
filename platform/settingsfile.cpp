#include "platform/settingsfile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

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
    fail("Could not save the settings to " + path + ": " + systemError(error) + '.');
}

[[noreturn]] void failToRead(const std::string& path, const std::string& why)
{
    fail("Could not read " + path + ": " + why + ". It was left as it is.");
}

[[noreturn]] void failToKeep(const std::string& path, int error)
{
    fail("Could not keep a copy of the unreadable settings file " + path + ": " + systemError(error)
        + ". It was left as it is.");
}

[[noreturn]] void throwSystemError(int error)
{
    throw std::system_error(error, std::generic_category());
}

std::int64_t nanoseconds(const timespec& time)
{
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

SettingsFile::Stamp stampOf(const struct stat& info)
{
    return {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::int64_t(info.st_size),
        nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
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

constexpr const char* tooLarge = "it is larger than 16 MiB, too large for a settings file";

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the bytes of a file that is a link really live, however many links lead there: the
// file is replaced, synced and kept aside in that folder, so that the link stays.
std::string resolvedTarget(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        std::string link(std::size_t(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length < 0)
            failToSave(path, errno);
        link.resize(std::size_t(length));
        target = link.starts_with('/') ? link : folderOf(target) + '/' + link;
    }
    failToSave(path, ELOOP);
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

// A new file, private until it is given other permissions, that only this process writes:
// "<target>.saving-<process>". A copy killed midway leaves one that a later copy can tell from the
// user's files.
class UnfinishedSave {
public:
    explicit UnfinishedSave(const std::string& target)
        : name(target + ".saving-" + std::to_string(::getpid()))
    {
        ::unlink(name.c_str());
        descriptor
            = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor < 0)
            throwSystemError(errno);
    }
    ~UnfinishedSave()
    {
        if (descriptor >= 0)
            ::close(descriptor);
        if (!finished)
            ::unlink(name.c_str());
    }
    UnfinishedSave(const UnfinishedSave&) = delete;
    UnfinishedSave& operator=(const UnfinishedSave&) = delete;

    // Writes bytes and makes them durable, with the given permissions where there are any.
    void write(std::string_view bytes, const mode_t* mode)
    {
        writeAll(descriptor, bytes);
        if ((mode && ::fchmod(descriptor, *mode) != 0) || ::fdatasync(descriptor) != 0)
            throwSystemError(errno);
        if (::close(std::exchange(descriptor, -1)) != 0)
            throwSystemError(errno);
    }
    void replace(const std::string& finalName)
    {
        if (::rename(name.c_str(), finalName.c_str()) != 0)
            throwSystemError(errno);
        finished = true;
    }
    // Gives the file a name no other file has; returns false where one has it.
    bool moveTo(const std::string& finalName)
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
    int descriptor = -1;
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

SettingsFile::~SettingsFile()
{
    pin(-1);
}

SettingsFile::Stamp SettingsFile::stamp() const
{
    struct stat info { };
    if (::stat(filePath.c_str(), &info) != 0)
        return {};
    return stampOf(info);
}

SettingsFile::Contents SettingsFile::read()
{
    // A file edited in place while it is read is read again, so no mix of two versions is taken.
    for (int attempt = 1; attempt <= 5; ++attempt) {
        // Without O_NONBLOCK, opening a named pipe would wait for a writer.
        const int descriptor
            = ::open(filePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (descriptor < 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return {};
            const int error = errno;
            struct stat info { };
            failToRead(filePath,
                error == ENXIO && ::stat(filePath.c_str(), &info) == 0
                    ? notASettingsFile(info.st_mode)
                    : systemError(error));
        }
        const auto closeAndFail = [&](const std::string& why) {
            ::close(descriptor);
            failToRead(filePath, why);
        };
        struct stat before { };
        ::fstat(descriptor, &before);
        if (!S_ISREG(before.st_mode))
            closeAndFail(notASettingsFile(before.st_mode));
        if (std::size_t(before.st_size) > maximumSize)
            closeAndFail(tooLarge);
        std::string bytes;
        bytes.reserve(std::size_t(before.st_size) + 1);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                closeAndFail(systemError(errno));
            if (got == 0)
                break;
            bytes.append(buffer, std::size_t(got));
            if (bytes.size() > maximumSize)
                closeAndFail(tooLarge);
        }
        struct stat after { };
        ::fstat(descriptor, &after);
        if (stampOf(before) == stampOf(after)) {
            pin(descriptor);
            return {std::move(bytes), stampOf(after)};
        }
        ::close(descriptor);
    }
    failToRead(filePath, "it kept changing while it was read");
}

void SettingsFile::makeFolder() const
{
    const std::string folder = folderOf(filePath);
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) == 0)
            // A new folder survives a power cut only once the folder above it is on disk too.
            syncFolder(folderOf(part), filePath);
        else if (errno != EEXIST)
            fail("Could not save the settings: the folder " + part
                + " cannot be made: " + systemError(errno) + '.');
        if (slash == std::string::npos)
            return;
    }
}

SettingsFile::Stamp SettingsFile::replace(std::string_view bytes)
{
    makeFolder();
    const std::string target = resolvedTarget(filePath);
    removeUnfinishedSaves(target);
    struct stat old { };
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        fail("Could not save the settings to " + target + ": " + notASettingsFile(old.st_mode)
            + '.');
    // Root may write anywhere; anyone else finds a settings file made read-only left as it is.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        failToSave(target, errno);
    try {
        UnfinishedSave save(target);
        const mode_t mode = old.st_mode & 07777;
        save.write(bytes, exists ? &mode : nullptr);
        save.replace(target);
    } catch (const std::system_error& error) {
        failToSave(target, error.code().value());
    }
    syncFolder(folderOf(target), target);
    pin(::open(filePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat written { };
    return pinned >= 0 && ::fstat(pinned, &written) == 0 ? stampOf(written) : Stamp{};
}

std::string SettingsFile::keepAside(std::string_view bytes)
{
    const std::string target = resolvedTarget(filePath);
    const std::string stem = target + ".unreadable-" + timeOfDay();
    const auto nameOf = [&](int n) { return n == 1 ? stem : stem + '-' + std::to_string(n); };
    // A second name for the file as it was read keeps every byte and its permissions, takes no
    // space and cannot be half written.
    if (pinned >= 0) {
        const std::string descriptorPath = "/proc/self/fd/" + std::to_string(pinned);
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
    struct stat info { };
    const mode_t mode = pinned >= 0 && ::fstat(pinned, &info) == 0 ? info.st_mode & 07777 : 0600;
    try {
        UnfinishedSave copy(target);
        copy.write(bytes, &mode);
        for (int n = 1; n <= 100; ++n) {
            if (copy.moveTo(nameOf(n))) {
                syncFolder(folderOf(target), target);
                return nameOf(n);
            }
        }
        throwSystemError(EEXIST);
    } catch (const std::system_error& error) {
        failToKeep(filePath, error.code().value());
    }
}

void SettingsFile::pin(int descriptor)
{
    if (pinned >= 0)
        ::close(pinned);
    pinned = descriptor;
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
