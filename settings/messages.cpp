#include "settings/messages.h"

#include "settings/failure.h"
#include "settings/lockfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>

namespace {

// The program tries again by itself while a change is kept (docs/design.md, P3).
constexpr const char* savedThen = ", and the list is saved then";

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

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

std::string kindOf(mode_t mode)
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

// A place another user owns is given back, not made writable: only its owner or root can do that.
std::string ownedBy(const std::string& path, uid_t owner)
{
    const std::string name = userName(owner);
    if (thisUser() == 0)
        return path + " is owned by another user (" + name
            + "), and the program runs as root, whose files there that user could not change. "
              "Run it as "
            + name + " to keep the list";
    return path + " is owned by another user (" + name
        + "). Have it given to your account (sudo chown " + userName(thisUser()) + " " + path
        + ") or removed" + savedThen;
}

std::string untrusted(const Failure& failure)
{
    const std::string& path = failure.path;
    switch (failure.cause) {
    case Failure::Cause::OwnedByAnother:
        return ownedBy(path, failure.owner);
    case Failure::Cause::LinkOfAnother:
        return path + " is a link made by another user (" + userName(failure.owner) + "). Remove it"
            + savedThen;
    case Failure::Cause::TooLong:
        return "its path, " + path.substr(0, 60)
            + "..., is longer than the system allows. Set XDG_CONFIG_HOME to a shorter folder, and "
              "start the program again to keep the list";
    default:
        break;
    }
    switch (failure.writers) {
    case Failure::Writers::Group:
        return path + " can be changed by other users: its group, " + groupName(failure.group)
            + ", may write in it. Take that away (chmod g-w " + path + ")" + savedThen;
    case Failure::Writers::Named:
        return path
            + " can be changed by other users: its access control list lets them write in it. "
              "Take that away (getfacl shows whom, setfacl -x takes them off)"
            + savedThen;
    default:
        return path + " can be changed by other users. Take that away (chmod go-w " + path + ")"
            + savedThen;
    }
}

std::string refused(const Failure& failure, const std::string& file)
{
    switch (failure.error) {
    case EACCES:
    case EPERM:
        if (failure.owner != thisUser() && thisUser() != 0)
            return ownedBy(failure.path, failure.owner);
        [[fallthrough]];
    case EROFS:
        return failure.path + " is read-only. Make it writable" + savedThen;
    case ENOSPC:
        return "the disk that holds " + folderOf(file) + " is full. Make room on it" + savedThen;
    case EDQUOT:
        return std::string("your disk quota is used up. Make room within it") + savedThen;
    case EIO:
        return "the disk that holds " + folderOf(file)
            + " failed to write it. The list is saved as soon as the disk works again";
    default:
        return failure.path + ": " + std::strerror(failure.error)
            + ". The list is saved as soon as that is mended";
    }
}

std::string unreadable(const Failure& failure, const std::string& file)
{
    std::string why = "it is " + kindOf(failure.kind) + ", not a settings file";
    if (failure.error == EFBIG)
        why = "it is larger than 16 MiB, too large for a settings file";
    else if (failure.error != 0)
        why = std::strerror(failure.error);
    return "Could not read " + file + ": " + why
        + ". It was left as it is. Move it away, and the list is saved then.";
}

std::string someoneElse(const Failure& failure, const std::string& file)
{
    switch (failure.cause) {
    case Failure::Cause::HeldTooLong:
        return "Another copy of the program has been changing " + file + " for more than "
            + std::to_string(LockFile::holderPatience.count()) + " seconds";
    case Failure::Cause::TurnsTooLong:
        return "Other copies of the program have been changing " + file
            + " one after another for more than " + std::to_string(LockFile::turnsPatience.count())
            + " seconds";
    default:
        return "The settings file " + file + " is being written by another program";
    }
}

// The first few lines only, so that a file of binary junk gives a box that fits on a screen.
std::string listed(const std::vector<int>& lines)
{
    constexpr std::size_t named = 5;
    const std::size_t shown = std::min(lines.size(), named);
    std::string text = lines.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && lines.size() == shown ? " and " : ", ";
        text += std::to_string(lines[i]);
    }
    if (lines.size() > shown)
        text += " and " + std::to_string(lines.size() - shown) + " more";
    return text;
}

} // namespace

std::string toldOf(const Failure& failure, const std::string& file, bool reading)
{
    const std::string notDone
        = std::string("The list of recent files could not be ") + (reading ? "read: " : "saved: ");
    switch (failure.cause) {
    case Failure::Cause::Refused:
        return notDone + refused(failure, file) + '.';
    case Failure::Cause::NotAnswering:
        return notDone + "the disk that holds " + folderOf(file) + " is not answering. "
            + (reading ? "It is read again with your next change once the disk answers."
                       : "The list is saved as soon as it answers again.");
    case Failure::Cause::Unreadable:
        return unreadable(failure, file);
    case Failure::Cause::BeingWritten:
    case Failure::Cause::HeldTooLong:
    case Failure::Cause::TurnsTooLong:
        return someoneElse(failure, file) + ", so nothing was changed. Please try again.";
    default:
        return "The list of recent files is kept for this session only: " + untrusted(failure)
            + '.';
    }
}

std::string keptAsideText(
    const std::string& file, const std::vector<int>& misreadLines, const std::string& keptAs)
{
    return "The settings file " + file + " could not be read in full (" + listed(misreadLines)
        + "). It was kept as " + keptAs
        + ", and the list of recent files was started afresh from what could be read.";
}
