#pragma once

#include "settings/descriptor.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

// What a save keeps of the file it replaces: the mode, the access ACL (whose mask is what the mode
// shows of the group), and the group, or none of the group's bits where the user is no member.
struct Permissions {
    mode_t mode = 0600;
    gid_t group = gid_t(-1);
    std::string acl;

    static Permissions of(int descriptor, const struct stat& info);
    // Gives the open file these permissions, and returns what it is then. Throws
    // std::system_error where the file system has permissions and refuses them.
    struct stat giveTo(int descriptor) const;
};

// A new file, "<target>.saving-<process>", beside target in folder (open for reading), that only
// this process writes, made to take target's place atomically and durably.
//
// The policy, as GLib's g_file_set_contents_full keeps it: the new file, private until it is given
// the old one's permissions, is synced with them before anything else, or a power cut after the
// rename could leave the name on an empty file (ext4's delayed allocation); one rename, an
// exchange, puts it in place, so the name holds the old file or the new at every moment; what
// came out is looked at, and the exchange undone where it is not the file the save was made from
// (P2); the folder is synced, or a power cut could bring the old file back after the save was
// reported done (P1). A copy killed before its rename leaves a file whose name says whose it was.
class UnfinishedSave {
public:
    // Throws a Failure naming the folder.
    UnfinishedSave(
        int folder, const std::string& folderPath, const std::string& target, mode_t mode);
    ~UnfinishedSave();
    UnfinishedSave(const UnfinishedSave&) = delete;
    UnfinishedSave& operator=(const UnfinishedSave&) = delete;

    // Writes bytes and makes them durable, with the given permissions where there are any, and
    // returns what the file is then.
    struct stat write(std::string_view bytes, const std::optional<Permissions>& permissions);
    // The file a save was made from, as it was read: its device and inode, and whether it still
    // holds the bytes read.
    struct Expected {
        dev_t device;
        ino_t inode;
        std::function<bool()> unchanged;
    };
    // Puts the file in place of the target where the target is still the file expected (with
    // none expected, where nothing has come to the name since), syncs the folder, and returns
    // the file open; returns nothing, and changes nothing, where another file is there now.
    std::optional<Descriptor> replace(const std::optional<Expected>& expected);
    // Gives the file a name no other file has, and syncs the folder; returns false where one has
    // the name.
    bool renameUnlessTaken(const std::string& finalName);

private:
    int folder;
    std::string folderPath;
    std::string target;
    std::string name;
    Descriptor descriptor;
    bool finished = false;
};

// Removes what copies killed while they saved left beside target: unfinished saves whose process
// has ended.
void removeUnfinishedSaves(int folder, const std::string& target);

// Makes what happened to the names in the folder, open for reading, durable. Throws a Failure
// naming folderPath.
void syncFolder(int folder, const std::string& folderPath);
