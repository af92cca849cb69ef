#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

// The settings could not be saved, or the file kept aside, for a cause the folder or the disk
// gave: where it failed (the file, its folder, a folder on the way) and the system's error.
class NotSaved : public std::runtime_error {
public:
    NotSaved(std::string path, int error)
        : std::runtime_error("Could not save the settings to " + path + ": " + std::strerror(error))
        , path(std::move(path))
        , error(error)
    {
    }

    std::string path;
    int error;
};
