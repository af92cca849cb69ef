#include "settings/trust.h"

#include "list/settingsstore.h"
#include "settings/folderof.h"
#include "settings/settingsfile.h"
#include "settings/thisprocess.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

bool ownedByUser(const struct stat& info)
{
    return info.st_uid == thisUser() || info.st_uid == 0;
}

// A group of the user's own, as Debian makes one for every user, may write where others may not.
bool isPrivateGroup(gid_t gid)
{
    static const gid_t privateGroup = [] {
        const passwd* user = ::getpwuid(thisUser());
        const group* own = user ? ::getgrgid(user->pw_gid) : nullptr;
        if (!own || std::strcmp(own->gr_name, user->pw_name) != 0)
            return gid_t(-1);
        for (char** member = own->gr_mem; *member; ++member) {
            if (std::strcmp(*member, user->pw_name) != 0)
                return gid_t(-1);
        }
        return own->gr_gid;
    }();
    return gid == privateGroup;
}

// With an access ACL the group's bits are the mask, which may let a named user or group write.
bool changeableByOthers(const std::string& path, const struct stat& info)
{
    if (info.st_mode & S_IWOTH)
        return true;
    return (info.st_mode & S_IWGRP)
        && (!isPrivateGroup(info.st_gid)
            || ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0);
}

// Special files are refused as such where the file is read and saved.
std::optional<std::string> whyNotTheUsers(const std::string& path, const struct stat& info)
{
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return std::nullopt;
    if (!ownedByUser(info))
        return path + " is owned by another user";
    if (changeableByOthers(path, info))
        return path + " can be changed by other users";
    return std::nullopt;
}

// What a link leads to, and the folder that holds that, where they exist.
std::optional<std::string> whyNotTrustedTarget(const std::string& link)
{
    std::string target;
    try {
        target = linkTarget(link);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    for (const std::string& led : {folderOf(target), target}) {
        struct stat info { };
        if (::stat(led.c_str(), &info) != 0)
            continue;
        if (std::optional<std::string> why = whyNotTheUsers(led, info))
            return why;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> whyNotTrusted(const std::string& file)
{
    if (file.size() + longestNameAddedBeside >= PATH_MAX)
        return "its path, " + file.substr(0, 60) + "..., is longer than the system allows";
    const std::string folder = folderOf(file);
    for (const std::string& step : {folderOf(folder), folder, file}) {
        struct stat info { };
        if (::lstat(step.c_str(), &info) != 0)
            return std::nullopt;
        if (S_ISLNK(info.st_mode)) {
            if (!ownedByUser(info))
                return step + " is a link made by another user";
            if (std::optional<std::string> why = whyNotTrustedTarget(step))
                return why;
            continue;
        }
        if (std::optional<std::string> why = whyNotTheUsers(step, info))
            return why;
    }
    return std::nullopt;
}
