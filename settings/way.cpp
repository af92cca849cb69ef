#include "settings/way.h"

#include "settings/failure.h"
#include "settings/settingslocation.h"
#include "settings/thisprocess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <map>
#include <optional>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int mostLinks = 40;

std::deque<std::string> namesOf(const std::string& path)
{
    std::deque<std::string> names;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start && path.compare(start, slash - start, ".") != 0)
            names.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return names;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? folder + name : folder + '/' + name;
}

// In a user namespace that leaves root unmapped (a sandbox), the kernel shows root's files, and
// those of every other user it does not map, as owned by the overflow user. The walk cannot tell
// them apart and takes that user for root, except in a folder others may write.
bool isOverflowRoot(uid_t owner)
{
    static const bool rootUnmapped = [] {
        std::ifstream map("/proc/self/uid_map");
        long long inside = 0, outside = 0, count = 0;
        bool unmapped = bool(map);
        while (map >> inside >> outside >> count) {
            if (outside == 0 && count > 0)
                unmapped = false;
        }
        return unmapped;
    }();
    static const uid_t overflow = [] {
        uid_t user = 65534;
        std::ifstream("/proc/sys/kernel/overflowuid") >> user;
        return user;
    }();
    return rootUnmapped && owner == overflow;
}

bool trustedOwner(uid_t owner, bool inShared)
{
    return owner == thisUser() || owner == 0 || (!inShared && isOverflowRoot(owner));
}

// A group of the user's own alone: no other account has it as its primary group, and the group
// lists no other member, as Debian's OpenSSH asks of a group that may write where others may not.
bool isPrivateGroup(gid_t group)
{
    static std::map<gid_t, bool> known;
    if (const auto found = known.find(group); found != known.end())
        return found->second;
    bool isPrivate = false;
    if (const passwd* user = ::getpwuid(thisUser())) {
        const std::string name = user->pw_name;
        bool member = user->pw_gid == group;
        isPrivate = true;
        if (const struct group* entry = ::getgrgid(group)) {
            for (char** listed = entry->gr_mem; *listed; ++listed) {
                member = member || name == *listed;
                isPrivate = isPrivate && name == *listed;
            }
        }
        ::setpwent();
        while (const passwd* account = ::getpwent())
            isPrivate = isPrivate && (account->pw_gid != group || account->pw_uid == thisUser());
        ::endpwent();
        isPrivate = isPrivate && member;
    }
    return known[group] = isPrivate;
}

// Who besides the owner may write, by the mode and, where the group's bits let anyone write (with
// an access ACL they are its mask), by the ACL's entries: a read-only entry is no writer.
std::optional<Failure::Writers> writersOf(int descriptor, const struct stat& info)
{
    if (info.st_mode & S_IWOTH)
        return Failure::Writers::Anyone;
    if (!(info.st_mode & S_IWGRP))
        return std::nullopt;
    const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    char acl[4096];
    const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl);
    if (size < ssize_t(sizeof(posix_acl_xattr_header)))
        return isPrivateGroup(info.st_gid) ? std::nullopt : std::optional(Failure::Writers::Group);
    for (std::size_t at = sizeof(posix_acl_xattr_header);
         at + sizeof(posix_acl_xattr_entry) <= std::size_t(size);
         at += sizeof(posix_acl_xattr_entry)) {
        posix_acl_xattr_entry entry{};
        std::memcpy(&entry, acl + at, sizeof entry);
        if (!(entry.e_perm & ACL_WRITE))
            continue;
        if (entry.e_tag == ACL_USER && entry.e_id != thisUser())
            return Failure::Writers::Named;
        if (entry.e_tag == ACL_GROUP_OBJ && !isPrivateGroup(info.st_gid))
            return Failure::Writers::Group;
        if (entry.e_tag == ACL_GROUP && !isPrivateGroup(entry.e_id))
            return Failure::Writers::Named;
    }
    return std::nullopt;
}

// A folder or link judged on what was opened. Returns whether a folder is shared: others may write
// in it, and its sticky bit keeps them from renaming what is not theirs.
bool judge(int descriptor, const struct stat& info, const std::string& path, bool inShared)
{
    const bool link = S_ISLNK(info.st_mode);
    if (!trustedOwner(info.st_uid, inShared))
        throw Failure{link ? Failure::Cause::LinkOfAnother : Failure::Cause::OwnedByAnother, path,
            0, info.st_uid};
    if (link)
        return false;
    const std::optional<Failure::Writers> writers = writersOf(descriptor, info);
    if (!writers)
        return false;
    if (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX))
        return true;
    throw Failure{
        Failure::Cause::ChangeableByOthers, path, 0, info.st_uid, 0, *writers, info.st_gid};
}

struct Opened {
    Descriptor descriptor;
    struct stat info { };
};

// The name in folder, at path, not followed; nothing where there is none. A folder closed to the
// user is named where it refuses.
Opened openStep(int folder, const std::string& folderPath, const std::string& name)
{
    Opened step{Descriptor(::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC))};
    if (!step.descriptor && errno == ENOENT)
        return {};
    if (!step.descriptor)
        throw Failure::refusedIn(
            folder, errno == EACCES ? folderPath : joined(folderPath, name), errno);
    if (::fstat(step.descriptor.get(), &step.info) != 0)
        throw Failure::refused(joined(folderPath, name), errno);
    return step;
}

// The folder open for reading, for the calls that an O_PATH descriptor cannot make (fsync, the
// default ACL, a listing).
Descriptor readable(int folder, const std::string& path)
{
    Descriptor opened(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened)
        throw Failure::refusedIn(folder, path, errno);
    return opened;
}

std::string linkText(int link, const struct stat& info, const std::string& path)
{
    std::string target(std::size_t(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
    const ssize_t length = ::readlinkat(link, "", target.data(), target.size());
    if (length < 0)
        throw Failure::refused(path, errno);
    target.resize(std::size_t(length));
    return target;
}

// One walk: the folders from "/" down, to go back up to on "..", each with whether it is shared.
class Walker {
public:
    Walker() { fromRoot(); }

    // Walks names down: every folder, and the last name only where it is a link (or, for
    // intoLast, a folder too). What is left in names then is the last name, or the names from the
    // first that is missing.
    void walk(std::deque<std::string>& names, bool intoLast)
    {
        int links = 0;
        while (!names.empty()) {
            const std::string name = names.front();
            if (name == "..") {
                if (folders.size() > 1)
                    folders.pop_back();
                names.pop_front();
                continue;
            }
            const std::string path = joined(top().path, name);
            Opened step = openStep(top().descriptor.get(), top().path, name);
            if (!step.descriptor)
                return;
            const bool last = names.size() == 1;
            if (last && !intoLast && !S_ISLNK(step.info.st_mode))
                return;
            const bool shared = judge(step.descriptor.get(), step.info, path, top().shared);
            if (S_ISLNK(step.info.st_mode)) {
                if (++links > mostLinks)
                    throw Failure::refused(path, ELOOP);
                const std::string target = linkText(step.descriptor.get(), step.info, path);
                names.pop_front();
                std::deque<std::string> followed = namesOf(target);
                names.insert(names.begin(), followed.begin(), followed.end());
                if (target.starts_with('/'))
                    fromRoot();
                continue;
            }
            // What cannot be made is the folder that belongs in it.
            if (!S_ISDIR(step.info.st_mode))
                throw Failure::refused(last ? path : joined(path, names[1]), ENOTDIR);
            folders.push_back({std::move(step.descriptor), path, shared});
            names.pop_front();
        }
    }

    struct Folder {
        Descriptor descriptor;
        std::string path;
        bool shared = false;
    };

    Folder& top() { return folders.back(); }

private:
    void fromRoot()
    {
        folders.clear();
        Opened root{Descriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC))};
        if (!root.descriptor || ::fstat(root.descriptor.get(), &root.info) != 0)
            throw Failure::refused("/", errno);
        const bool shared = judge(root.descriptor.get(), root.info, "/", false);
        folders.push_back({std::move(root.descriptor), "/", shared});
    }

    std::vector<Folder> folders;
};

} // namespace

Way::Way(const std::string& filePath)
{
    // Every name the store makes beside the file must fit in a path as well.
    if (filePath.size() + longestNameAddedBeside >= PATH_MAX)
        throw Failure{Failure::Cause::TooLong, filePath};
    Walker walker;
    std::deque<std::string> names = namesOf(filePath);
    if (names.empty())
        throw Failure::refused(filePath, EISDIR);
    targetName = names.back();
    names.pop_back();
    // First the settings path's own folder, where the lock lives, then the file through its links.
    walker.walk(names, true);
    settingsFolderPath = walker.top().path;
    settingsShared = walker.top().shared;
    missing = std::move(names);
    if (std::find(missing.begin(), missing.end(), "..") != missing.end())
        throw Failure::refused(joined(settingsFolderPath, missing.front()), ENOENT);
    settingsFolder = readable(walker.top().descriptor.get(), settingsFolderPath);
    if (!missing.empty())
        return;
    std::deque<std::string> file{targetName};
    walker.walk(file, false);
    targetName = file.back();
    targetShared = walker.top().shared;
    if (file.size() == 1) {
        targetFolderPath = walker.top().path;
        targetFolder = readable(walker.top().descriptor.get(), targetFolderPath);
    } else {
        // A link that leads into a folder not there yet: the file is missing, and so is its folder.
        targetFolderPath = joined(walker.top().path, file.front());
    }
}

void Way::makeFolders()
{
    while (!missing.empty()) {
        const std::string path = joined(settingsFolderPath, missing.front());
        const mode_t mode = hasDefaultAcl(folder()) ? 0777 : 0700;
        if (::mkdirat(folder(), missing.front().c_str(), mode) != 0 && errno != EEXIST)
            throw Failure::refusedIn(folder(), path, errno);
        // A new folder survives a power cut only once the folder above it is on disk too.
        if (::fsync(folder()) != 0)
            throw Failure::refused(settingsFolderPath, errno);
        Opened made = openStep(folder(), settingsFolderPath, missing.front());
        if (!made.descriptor || !S_ISDIR(made.info.st_mode))
            throw Failure::refused(path, made.descriptor ? ENOTDIR : ENOENT);
        settingsShared = judge(made.descriptor.get(), made.info, path, settingsShared);
        settingsFolder = readable(made.descriptor.get(), path);
        settingsFolderPath = path;
        missing.pop_front();
    }
    targetFolder = Descriptor(::dup(folder()));
    targetFolderPath = settingsFolderPath;
    targetShared = settingsShared;
}

bool Way::stillLeadsTo(const std::string& filePath) const
{
    struct stat held { };
    struct stat named { };
    const std::size_t slash = filePath.rfind('/');
    const std::string folderPath = slash == 0 ? "/" : filePath.substr(0, slash);
    if (!complete() || ::fstat(folder(), &held) != 0 || ::stat(folderPath.c_str(), &named) != 0
        || held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return false;
    // A folder made changeable by others since is walked again, and refused then.
    try {
        judge(folder(), held, settingsFolderPath, false);
        return true;
    } catch (const Failure&) {
        return false;
    }
}

void Way::trustFile(int descriptor, const struct stat& info) const
{
    judge(descriptor, info, joined(targetFolderPath, targetName), targetShared);
}

bool hasDefaultAcl(int folder)
{
    return ::fgetxattr(folder, "system.posix_acl_default", nullptr, 0) > 0;
}
