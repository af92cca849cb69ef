#include "settings/messages.h"

#include "settings/folderof.h"
#include "settings/notsaved.h"
#include "settings/thisprocess.h"
#include "settings/way.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>

namespace {

constexpr const char* savedWithNextChange = ", and the list is saved with your next change";

std::string userName(uid_t user)
{
    const passwd* entry = ::getpwuid(user);
    return entry ? entry->pw_name : std::to_string(user);
}

std::string groupName(gid_t group)
{
    const struct group* entry = ::getgrgid(group);
    return entry ? entry->gr_name : std::to_string(group);
}

// A place another user owns is given back, not made writable: only its owner or root can do that.
std::string ownedBy(const std::string& path, uid_t owner)
{
    if (thisUser() == 0)
        return path + " is owned by another user (" + userName(owner)
            + "), and the program runs as root, whose files there that user could not change. "
              "Run it as "
            + userName(owner) + " to keep the list";
    return path + " is owned by another user (" + userName(owner)
        + "). Have it given to your account (sudo chown " + userName(thisUser()) + " " + path
        + ") or removed" + savedWithNextChange;
}

} // namespace

std::string untrustedText(const Untrusted& untrusted)
{
    const std::string& path = untrusted.path;
    switch (untrusted.cause) {
    case Untrusted::Cause::OwnedByAnother:
        return ownedBy(path, untrusted.owner);
    case Untrusted::Cause::LinkOfAnother:
        return path + " is a link made by another user (" + userName(untrusted.owner)
            + "). Remove it" + savedWithNextChange;
    case Untrusted::Cause::TooLong:
        return "its path, " + path.substr(0, 60)
            + "..., is longer than the system allows. Set XDG_CONFIG_HOME to a shorter folder, and "
              "start the program again to keep the list";
    case Untrusted::Cause::ChangeableByOthers:
        break;
    }
    switch (untrusted.writers) {
    case Untrusted::Writers::Group:
        return path + " can be changed by other users: its group, " + groupName(untrusted.group)
            + ", may write in it. Take that away (chmod g-w " + path + ")" + savedWithNextChange;
    case Untrusted::Writers::Named:
        return path
            + " can be changed by other users: its access control list lets them write in it. "
              "Take that away (getfacl shows whom, setfacl -x takes them off)"
            + savedWithNextChange;
    default:
        return path + " can be changed by other users. Take that away (chmod go-w " + path + ")"
            + savedWithNextChange;
    }
}

std::string notSavedText(const NotSaved& failure, const std::string& file)
{
    switch (failure.error) {
    case EACCES:
    case EPERM:
        if (failure.owner != thisUser() && thisUser() != 0)
            return ownedBy(failure.path, failure.owner);
        [[fallthrough]];
    case EROFS:
        return failure.path + " is read-only. Make it writable" + savedWithNextChange;
    case ENOSPC:
        return "the disk that holds " + folderOf(file) + " is full. Make room on it"
            + savedWithNextChange;
    case EDQUOT:
        return std::string("your disk quota is used up. Make room within it") + savedWithNextChange;
    case EIO:
        return "the disk that holds " + folderOf(file)
            + " failed to write it. The list is saved with your next change once the disk works "
              "again";
    default:
        return failure.path + ": " + std::strerror(failure.error)
            + ". The list is saved with your next change once that is mended";
    }
}

std::string notAnsweringText(const std::string& file)
{
    return "the disk that holds " + folderOf(file)
        + " is not answering. The list is saved with your next change once it answers again";
}
