#include "settings/atomicreplace.h"

#include "settings/failure.h"
#include "settings/thisprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* accessAcl = "system.posix_acl_access";

[[noreturn]] void throwSystemError(int error)
{
    throw std::system_error(error, std::generic_category());
}

// A file system without permissions (FAT, some FUSE file systems) has none to keep.
bool withoutPermissions(int error)
{
    return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
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

} // namespace

Permissions Permissions::of(int descriptor, const struct stat& info)
{
    Permissions permissions;
    permissions.mode = info.st_mode & 07777;
    permissions.group = info.st_gid;
    ssize_t size = ::fgetxattr(descriptor, accessAcl, nullptr, 0);
    if (size > 0) {
        permissions.acl.resize(std::size_t(size));
        size = ::fgetxattr(descriptor, accessAcl, permissions.acl.data(), permissions.acl.size());
        permissions.acl.resize(size > 0 ? std::size_t(size) : 0);
    }
    return permissions;
}

struct stat Permissions::giveTo(int descriptor) const
{
    const bool aclGiven
        = !acl.empty() && ::fsetxattr(descriptor, accessAcl, acl.data(), acl.size(), 0) == 0;
    // An ACL the folder's default gave the new file would hide the mode's group bits.
    if (!aclGiven && acl.empty() && ::fremovexattr(descriptor, accessAcl) != 0 && errno != ENODATA
        && !withoutPermissions(errno))
        throwSystemError(errno);
    struct stat made { };
    if (::fstat(descriptor, &made) != 0)
        throwSystemError(errno);
    mode_t given = mode;
    const bool regroup = group != gid_t(-1) && made.st_gid != group;
    if (regroup && ::fchown(descriptor, uid_t(-1), group) != 0) {
        if (errno != EPERM && !withoutPermissions(errno))
            throwSystemError(errno);
        given &= ~mode_t(S_IRWXG);
    }
    // A change of group takes away the set-group-ID bit, which the mode gives back.
    if ((regroup || (!aclGiven && (made.st_mode & 07777) != given))
        && ::fchmod(descriptor, given) != 0 && !withoutPermissions(errno))
        throwSystemError(errno);
    return made;
}

UnfinishedSave::UnfinishedSave(
    int folder, const std::string& folderPath, const std::string& target, mode_t mode)
    : folder(folder)
    , folderPath(folderPath)
    , target(target)
    , name(target + ".saving-" + std::to_string(thisProcess()))
{
    const auto create = [&] {
        return Descriptor(::openat(
            folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    };
    descriptor = create();
    // What a copy of the same process number left when it was killed.
    if (!descriptor && errno == EEXIST && ::unlinkat(folder, name.c_str(), 0) == 0)
        descriptor = create();
    if (!descriptor)
        throw Failure::refused(folderPath, errno);
}

UnfinishedSave::~UnfinishedSave()
{
    if (!finished)
        ::unlinkat(folder, name.c_str(), 0);
}

struct stat UnfinishedSave::write(
    std::string_view bytes, const std::optional<Permissions>& permissions)
{
    writeAll(descriptor.get(), bytes);
    struct stat made { };
    if (permissions)
        made = permissions->giveTo(descriptor.get());
    else if (::fstat(descriptor.get(), &made) != 0)
        throwSystemError(errno);
    // Permissions just given are metadata, which only fsync makes durable.
    if ((permissions ? ::fsync(descriptor.get()) : ::fdatasync(descriptor.get())) != 0)
        throwSystemError(errno);
    return made;
}

std::optional<Descriptor> UnfinishedSave::replace(const std::optional<Expected>& expected)
{
    if (!expected)
        return renameUnlessTaken(target) ? std::optional(std::move(descriptor)) : std::nullopt;
    const auto isExpected = [&](const char* at) {
        struct stat found { };
        return ::fstatat(folder, at, &found, AT_SYMLINK_NOFOLLOW) == 0
            && found.st_dev == expected->device && found.st_ino == expected->inode
            && expected->unchanged();
    };
    if (::renameat2(folder, name.c_str(), folder, target.c_str(), RENAME_EXCHANGE) == 0) {
        if (!isExpected(name.c_str())) {
            if (::renameat2(folder, name.c_str(), folder, target.c_str(), RENAME_EXCHANGE) != 0)
                throwSystemError(errno);
            return std::nullopt;
        }
        // What came out is the old file, now under the unfinished save's name.
        if (::unlinkat(folder, name.c_str(), 0) != 0)
            throwSystemError(errno);
    } else if (errno == EINVAL || errno == ENOSYS) {
        // Where the file system cannot exchange, the last look at the name comes right before the
        // rename.
        if (!isExpected(target.c_str()))
            return std::nullopt;
        if (::renameat(folder, name.c_str(), folder, target.c_str()) != 0)
            throwSystemError(errno);
    } else if (errno == ENOENT) {
        return std::nullopt;
    } else {
        throwSystemError(errno);
    }
    finished = true;
    syncFolder(folder, folderPath);
    return std::move(descriptor);
}

bool UnfinishedSave::renameUnlessTaken(const std::string& finalName)
{
    int moved = ::renameat2(folder, name.c_str(), folder, finalName.c_str(), RENAME_NOREPLACE);
    // Some file systems cannot rename without replacing; the name is then looked at first.
    if (moved != 0 && errno == EINVAL) {
        struct stat info { };
        if (::fstatat(folder, finalName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            return false;
        moved = ::renameat(folder, name.c_str(), folder, finalName.c_str());
    }
    if (moved != 0 && errno == EEXIST)
        return false;
    if (moved != 0)
        throwSystemError(errno);
    finished = true;
    syncFolder(folder, folderPath);
    return true;
}

void removeUnfinishedSaves(int folder, const std::string& target)
{
    const std::string prefix = target + ".saving-";
    DIR* entries = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!entries)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const long owner = std::strtol(entry->d_name + prefix.size(), nullptr, 10);
        if (owner > 0 && ::kill(pid_t(owner), 0) != 0 && errno == ESRCH)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

void syncFolder(int folder, const std::string& folderPath)
{
    if (::fsync(folder) != 0)
        throw Failure::refused(folderPath, errno);
}
