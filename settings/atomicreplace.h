#pragma once

#include "settings/descriptor.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

// What a save keeps of the file it replaces, as editors that save by rename keep it: the mode,
// the access ACL where there is one (whose mask, not the group's bits, is what the mode shows of
// the group), and the group; where the user is no member of the group, the file cannot stay in it
// and keeps nothing of the group's bits rather than hand them to the user's own group.
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
// The policy, as GLib's g_file_set_contents_full keeps it: the bytes go to the new file, which is
// private to the user until it is given the old file's permissions, and which fsync makes durable
// with them before anything else happens; without that sync a power cut after the rename could
// leave the name on an empty or short file (ext4's delayed allocation). Then one rename puts it in
// the old file's place, so the name holds the old file or the new one at every moment, and the
// folder is synced: without that, a power cut could bring the old file back after the save was
// reported done. The rename is an exchange, and what comes out is looked at before the save is
// done: where it is not the file the save was made from, someone renamed their save into place
// meanwhile, and the exchange is undone (docs/design.md, P2). A copy killed before its rename
// leaves its unfinished file, whose name tells a later copy whose it was.
class UnfinishedSave {
public:
    // Made with mode: for a file that is to take another's place, the user's alone until it is
    // given the other's permissions. Throws a Failure naming the folder.
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
