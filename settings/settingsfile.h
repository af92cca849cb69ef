#pragma once

#include "settings/descriptor.h"
#include "settings/way.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>

// The one place that reads and writes the settings file. The file is reached by a walk that trusts
// every step on what it opened (Way), and every call is made relative to the folder reached; what
// sits at the file's name is checked before it is read: only a regular file of bounded size is
// read, nothing waits on it without a limit, and a file is only ever replaced whole, durably and
// where it really lives. Errors are thrown as std::runtime_error with a message that names the
// file, Untrusted where the way or the file may not be trusted, NotSaved where a folder refuses.
//
// What the file holds is told by its bytes, never by a time stamp: a stamp is only as fine as the
// file system's clock (a second on some, two on FAT), and an editor that saves in place keeps the
// inode and may keep the size. A change is taken at once only where the copies of the program
// vouch for it, as the bytes one of them saved; any other may be an editor's save under way, and
// is taken once it has settled.
class SettingsFile {
public:
    static constexpr std::size_t maximumSize = 16 << 20;

    // Another program has been writing the file in place for longer than a save takes.
    class BeingWritten : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The bytes a copy of the program saved last, told by their fingerprint; none when unknown.
    using LastSaved = std::function<std::optional<std::uint64_t>()>;

    explicit SettingsFile(std::string path);

    static std::uint64_t fingerprint(std::string_view bytes);

    const std::string& path() const { return filePath; }
    // The way to the file, walked the first time it is asked for. Throws Untrusted or NotSaved.
    Way& way();
    // The same, walked again where the folder reached is no longer the one at the path: once for
    // each turn at the lock and each look outside one.
    Way& walkAgainIfMoved();
    // Whether anything at all is at the file's name.
    bool exists();

    // The file's bytes when they differ from those last read or written, and always the first
    // time; nothing while the file holds those. A missing file reads as no bytes. Throws
    // BeingWritten when a change that no copy vouches for does not settle within a second.
    std::optional<std::string> readIfChanged(const LastSaved& lastSaved = {});
    // Forgets what was last read or written, so that the next read returns the file's bytes.
    void forget() { last.reset(); }
    // Makes the missing folders of the file's path, private to the user.
    void makeFolder();
    // Puts bytes in place of the file, so that it is at every moment the old file or the new one
    // and the new one survives a power cut. A file that is a link stays one: its target is
    // replaced. A new file is private to the user; an existing one keeps its permissions. Writes
    // nothing, and throws BeingWritten, when another program has changed the file in place since
    // it was last read.
    void replace(std::string_view bytes);
    // Ends a turn at the copies' lock: the file the last save replaced is closed, which leaves
    // freeing it, work for the disk, until no other copy waits for its turn.
    void endTurn() { replaced.reset(); }
    // Keeps the file as it was last read under a new name beside it, and returns that name.
    std::string keepAside();

private:
    struct Snapshot {
        std::string bytes;
        // Open on the file the bytes came from; none when nothing was at the name.
        std::shared_ptr<const Descriptor> file;
        struct stat info { };

        bool isOpen() const { return file && *file; }
        int descriptor() const { return file ? file->get() : -1; }
    };

    Snapshot openFile(const Snapshot* known);
    Snapshot readWhole(const Snapshot* known);
    Snapshot settled(Snapshot seen);

    std::string filePath;
    std::optional<Way> walked;
    // The file as last read or written, none before the first read. It stays open: it is the file
    // an editor writes in place, and the file kept aside as it was read.
    std::optional<Snapshot> last;
    std::shared_ptr<const Descriptor> replaced;
    bool unfinishedSavesRemoved = false;
};
