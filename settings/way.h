#pragma once

#include "settings/descriptor.h"

#include <deque>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The way to the settings file, walked from "/" one name at a time by descriptors and judged on
// what was opened, as docs/design.md (P4) says. The file's own links are followed too, so that it
// is reached where it really lives.
class Way {
public:
    // Throws a Failure where a step may not be trusted, or where the way cannot be walked (a loop
    // of links, a file where a folder belongs, a folder closed to the user), naming the step.
    explicit Way(const std::string& filePath);

    // The folder of the settings path (where the lock lives), open for *at calls, and its path.
    int folder() const { return settingsFolder.get(); }
    const std::string& folderPath() const { return settingsFolderPath; }
    // The folder where the file really lives, and its name there; the same folder where the file
    // is no link.
    int fileFolder() const { return targetFolder.get(); }
    const std::string& fileFolderPath() const { return targetFolderPath; }
    const std::string& fileName() const { return targetName; }
    // Whether every folder is there; a missing folder of the settings path can be made.
    bool complete() const { return missing.empty(); }
    // Makes the missing folders of the settings path, each under a folder that passed and judged
    // like every other, private to the user unless the folder above has a default ACL. Throws
    // a Failure.
    void makeFolders();
    // Whether the settings path's folder is still the one reached: where it was moved away or
    // replaced, the way is walked again.
    bool stillLeadsTo(const std::string& filePath) const;
    // Judges the file itself, open on info: the user's or root's, and changeable by no one else.
    // Throws a Failure.
    void trustFile(int descriptor, const struct stat& info) const;

private:
    Descriptor settingsFolder;
    std::string settingsFolderPath;
    Descriptor targetFolder;
    std::string targetFolderPath;
    std::string targetName;
    std::deque<std::string> missing;
    bool settingsShared = false;
    bool targetShared = false;
};

// Whether a folder gives what is made in it its default ACL; elsewhere what the program makes is
// the user's alone.
bool hasDefaultAcl(int folder);
