#pragma once

#include "settings/thisprocess.h"

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// Why the settings could not be read or saved now: one type for every cause that the disk, the
// file, the way to it or the other copies give, thrown where the cause is met and worded for the
// user in settings/messages.cpp alone. A change the cause stops is kept where the cause may pass,
// and refused where someone else is changing the file (docs/design.md, the turn).
struct Failure {
    enum class Cause {
        // The system refused at path: error, and owner, whose the place is.
        Refused,
        // The disk that holds path has shown no sign of life for too long.
        NotAnswering,
        // What sits at the file's name cannot be read: no regular file (kind), too large
        // (error EFBIG), or the system refused (error).
        Unreadable,
        // The way to the file may not be trusted at path.
        OwnedByAnother,
        ChangeableByOthers,
        LinkOfAnother,
        TooLong,
        // Someone else is changing the file: another program, one copy, or many in turn.
        BeingWritten,
        HeldTooLong,
        TurnsTooLong,
    };
    // Who besides the owner may write a place changeable by others.
    enum class Writers { Anyone, Group, Named };

    Cause cause;
    std::string path = {};
    int error = 0;
    uid_t owner = 0;
    mode_t kind = 0;
    Writers writers = Writers::Anyone;
    gid_t group = 0;

    bool refuses() const { return cause >= Cause::BeingWritten; }

    // The system refused at path, a place of owner's.
    static Failure refused(std::string path, int error, uid_t owner = thisUser())
    {
        return {Cause::Refused, std::move(path), error, owner};
    }
    // The same, where the folder that refused is open.
    static Failure refusedIn(int folder, std::string path, int error)
    {
        struct stat info { };
        return refused(
            std::move(path), error, ::fstat(folder, &info) == 0 ? info.st_uid : thisUser());
    }
};
