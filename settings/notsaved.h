#pragma once

#include "settings/thisprocess.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

// The settings could not be saved, or the file kept aside, for a cause the folder or the disk
// gave: where it failed (the file, its folder, a folder on the way), the system's error, and
// whose that place is, so that a message can say what to do.
class NotSaved : public std::runtime_error {
public:
    NotSaved(std::string path, int error, uid_t owner = thisUser())
        : std::runtime_error("Could not save the settings to " + path + ": " + std::strerror(error))
        , path(std::move(path))
        , error(error)
        , owner(owner)
    {
    }

    // The same, where the folder that refused is open.
    static NotSaved in(int folder, std::string path, int error)
    {
        struct stat info { };
        return NotSaved(
            std::move(path), error, ::fstat(folder, &info) == 0 ? info.st_uid : thisUser());
    }

    std::string path;
    int error;
    uid_t owner;
};
