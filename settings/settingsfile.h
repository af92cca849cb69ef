#pragma once

#include "settings/descriptor.h"
#include "settings/way.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

// The one place that reads and writes the settings file, on the store's worker, through the way
// walked to it; its rules are those of docs/design.md (P1, P2). Every failure is thrown as a
// Failure.
class SettingsFile {
public:
    static constexpr std::size_t maximumSize = 16 << 20;
    // An editor that saves in place takes milliseconds; a writer that takes a second is not waited
    // for.
    static constexpr std::chrono::milliseconds settleTime{100};
    static constexpr std::chrono::milliseconds writerPatience{1000};

    // The bytes a copy of the program saved last, told by their fingerprint; none when unknown.
    using LastSaved = std::function<std::optional<std::uint64_t>()>;

    struct Read {
        enum class Outcome { Unchanged, Taken, Settling };
        Outcome outcome;
        std::string bytes;
    };

    explicit SettingsFile(std::string path);

    static std::uint64_t fingerprint(std::string_view bytes);

    const std::string& path() const { return filePath; }
    // The way to the file, walked the first time it is asked for.
    Way& way();
    // The same, walked again where the folder reached is no longer the one at the path, and with
    // the file itself judged: once for each turn at the lock and each look outside one.
    Way& walkAgainIfMoved();

    // The file's bytes where they differ from those the caller holds (by their fingerprint; none
    // before the first read, which takes whatever is there); a missing file reads as no bytes. A
    // change is taken as P2 says; until then a read that waits looks again for up to
    // writerPatience and then fails, and one that does not answers Settling.
    Read read(std::optional<std::uint64_t> held, const LastSaved& lastSaved, bool wait);
    // Puts bytes in place of the file, or of its link's target. Returns false, and writes nothing,
    // where the file is not the one the change was made on (the bytes with the fingerprint madeOn,
    // none where it was made on nothing read): someone else saved meanwhile.
    bool replace(std::string_view bytes, std::optional<std::uint64_t> madeOn);
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
    // A change seen but not taken yet, and since when the file has held it.
    struct Candidate {
        std::uint64_t fingerprint;
        bool exists;
        std::chrono::steady_clock::time_point since;
    };

    Snapshot openFile(const Snapshot* known);
    Snapshot readWhole(const Snapshot* known);

    std::string filePath;
    std::optional<Way> walked;
    // The file as last read or written, kept open: an editor writes it in place, and it is kept
    // aside as it was read.
    std::optional<Snapshot> last;
    std::optional<Candidate> candidate;
    std::shared_ptr<const Descriptor> replaced;
    bool unfinishedSavesRemoved = false;
};
