#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The one place that reads and writes the settings file. Whatever sits at its path is checked
// before it is trusted: only a regular file of bounded size is read, nothing waits on it, and a
// file is only ever replaced whole, durably and where it really lives. Errors are thrown as
// std::runtime_error with a message that names the file.
class SettingsFile {
public:
    static constexpr std::size_t maximumSize = 16 << 20;

    // What tells one version of the file from another: a stat of the file, not a read.
    struct Stamp {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = -1;
        std::int64_t modified = 0;
        std::int64_t changed = 0;
        bool operator==(const Stamp&) const = default;
    };

    struct Contents {
        std::string bytes;
        // Empty when there is no file.
        Stamp stamp;
    };

    explicit SettingsFile(std::string path);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    const std::string& path() const { return filePath; }
    // Empty when nothing is at the path.
    Stamp stamp() const;

    // A missing file reads as no bytes.
    Contents read();
    // Makes the folder of the file, and any missing above it, private to the user.
    void makeFolder() const;
    // Puts bytes in place of the file, so that it is at every moment the old file or the new one
    // and the new one survives a power cut. A file that is a link stays one: its target is
    // replaced. A new file is private to the user; an existing one keeps its permissions.
    // Returns the new file's stamp.
    Stamp replace(std::string_view bytes);
    // Keeps the file last read, whose bytes were these, under a new name beside it, and returns
    // that name.
    std::string keepAside(std::string_view bytes);

private:
    void pin(int descriptor);
    void removeUnfinishedSaves(const std::string& target);

    std::string filePath;
    // The file last read or written stays open, so that no newer file can take its inode
    // number and pass for it, and so that it can be kept aside as it was read.
    int pinned = -1;
    bool unfinishedSavesRemoved = false;
};
