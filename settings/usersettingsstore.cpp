#include "settings/usersettingsstore.h"

#include "settings/failure.h"
#include "settings/lockfile.h"
#include "settings/messages.h"
#include "settings/settingsfile.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

// A disk that shows no sign of life for two seconds has stopped answering: a network share whose
// server went away, a stalled FUSE file system, a stick pulled half-way.
constexpr std::chrono::seconds diskPatience{2};
// A save made again this often, because others renamed their saves into place each time, gives way.
constexpr int mostReadsAgain = 5;

std::string settingsKey(const std::string& section, const std::string& key)
{
    return section + '/' + key;
}

} // namespace

// The file and the lock, on the worker: the two requests of a change, and a look outside one.
struct UserSettingsStore::Files {
    explicit Files(const std::string& path)
        : file(path)
        , lock(path.substr(path.rfind('/') + 1) + ".lock")
    {
    }

    struct Finished {
        std::string keptAs;
        bool readAgain = false;
        // What the file holds now, where someone saved other values since it was read.
        std::optional<std::string> bytes;
    };

    SettingsFile::Read read(std::optional<std::uint64_t> held, bool wait)
    {
        return file.read(
            held, [this] { return lock.lastSave(file.way().folder()); }, wait);
    }

    // The lock file lives beside the settings file, in a folder made at the first change.
    void lockTurn(const std::function<void()>& waiting)
    {
        Way& way = file.walkAgainIfMoved();
        if (!way.complete())
            way.makeFolders();
        lock.lock(way.folder(), way.folderPath(), waiting);
        readsAgain = 0;
    }

    SettingsFile::Read begin(
        std::optional<std::uint64_t> held, const std::function<void()>& waiting)
    {
        lockTurn(waiting);
        try {
            return read(held, true);
        } catch (...) {
            unlock();
            throw;
        }
    }

    // Saves bytes made on the file with the fingerprint madeOn, where there are any, and lets go
    // of the lock; keeps the lock where someone saved since, and reads what they saved.
    Finished finish(const std::optional<std::string>& bytes, std::optional<std::uint64_t> madeOn,
        bool keepAsideFirst, const std::function<void()>& waiting)
    {
        Finished finished;
        try {
            if (bytes)
                lock.keepAtName(file.way().folder(), file.way().folderPath(), waiting);
            if (bytes && keepAsideFirst)
                finished.keptAs = file.keepAside();
            if (bytes && !file.replace(*bytes, madeOn)) {
                if (++readsAgain > mostReadsAgain)
                    throw Failure{Failure::Cause::BeingWritten, file.path()};
                const SettingsFile::Read again = read(madeOn, true);
                finished.readAgain = true;
                if (again.outcome == SettingsFile::Read::Outcome::Taken)
                    finished.bytes = again.bytes;
                return finished;
            }
            if (bytes)
                lock.recordSave(SettingsFile::fingerprint(*bytes));
        } catch (...) {
            unlock();
            throw;
        }
        unlock();
        return finished;
    }

    void unlock()
    {
        lock.unlock();
        file.endTurn();
    }

    SettingsFile file;
    LockFile lock;
    int readsAgain = 0;
};

UserSettingsStore::UserSettingsStore(std::string filePath, int cutWaitsShortBy)
    : filePath(std::move(filePath))
    , files(std::make_shared<Files>(this->filePath))
{
    fileWorker.cutWaitsShortOn(cutWaitsShortBy);
    try {
        take(onWorker([files = files] { return files->read(std::nullopt, false); }).bytes);
    } catch (...) {
        said(failed(), true);
    }
}

// The files close on the worker, after whatever it still does: closing a file may wait on its
// disk, and nobody waits for the lock to be let go.
UserSettingsStore::~UserSettingsStore()
{
    abandonSharedChange();
    fileWorker.post([files = std::move(files)] {});
}

template<typename Request>
auto UserSettingsStore::onWorker(Request request) -> decltype(request())
{
    return fileWorker.run(std::move(request), diskPatience);
}

std::string UserSettingsStore::GetSetting(
    const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    const ini::Values& values = changed ? *changed : stored;
    const auto found = values.find(settingsKey(section, key));
    return found == values.end() ? defaultValue : found->second;
}

void UserSettingsStore::SaveSetting(
    const std::string& section, const std::string& key, const std::string& value)
{
    edited()[settingsKey(section, key)] = value;
}

void UserSettingsStore::DeleteSetting(const std::string& section, const std::string& key)
{
    edited().erase(settingsKey(section, key));
}

ini::Values& UserSettingsStore::edited()
{
    if (!changed)
        changed = stored;
    return *changed;
}

SharedChange UserSettingsStore::beginSharedChange()
{
    try {
        const SettingsFile::Read read
            = onWorker([files = files, held = held, waiting = fileWorker.signOfLife()] {
                  return files->begin(held, waiting);
              });
        turn = Turn::Locked;
        return read.outcome == SettingsFile::Read::Outcome::Taken && take(read.bytes)
            ? SharedChange::Reread
            : SharedChange::Unchanged;
    } catch (...) {
        // A request past its deadline may yet take the lock on the worker.
        fileWorker.post([files = files] { files->unlock(); });
        const Failure failure = failed();
        said(failure);
        if (failure.refuses())
            return SharedChange::Refused;
        turn = Turn::Unsaved;
        return SharedChange::Unchanged;
    }
}

Saving UserSettingsStore::finishSharedChange()
{
    if (std::exchange(turn, Turn::None) != Turn::Locked)
        return hasUnsavedChanges() ? Saving::Kept : Saving::Saved;
    std::optional<std::string> bytes;
    if (hasUnsavedChanges())
        bytes = ini::serialise(*changed);
    try {
        const Files::Finished finished
            = onWorker([files = files, bytes, madeOn = held, keepAside = !misreadLines.empty(),
                           waiting = fileWorker.signOfLife()] {
                  return files->finish(bytes, madeOn, keepAside, waiting);
              });
        if (!finished.keptAs.empty()) {
            notify(keptAsideText(path(), misreadLines, finished.keptAs));
            misreadLines.clear();
        }
        if (finished.readAgain) {
            turn = Turn::Locked;
            if (finished.bytes)
                take(*finished.bytes);
            changed.reset();
            return Saving::ReadAgain;
        }
        if (bytes) {
            stored = std::move(*changed);
            held = SettingsFile::fingerprint(*bytes);
        }
        changed.reset();
        failedBecause.clear();
        return Saving::Saved;
    } catch (...) {
        const Failure failure = failed();
        said(failure);
        if (!failure.refuses())
            return Saving::Kept;
        changed.reset();
        return Saving::Refused;
    }
}

void UserSettingsStore::abandonSharedChange()
{
    changed.reset();
    if (std::exchange(turn, Turn::None) == Turn::Locked)
        fileWorker.post([files = files] { files->unlock(); });
}

Refreshed UserSettingsStore::refresh()
{
    try {
        const SettingsFile::Read read = onWorker([files = files, held = held] {
            files->file.walkAgainIfMoved();
            return files->read(held, false);
        });
        if (read.outcome == SettingsFile::Read::Outcome::Settling)
            return Refreshed::Settling;
        if (read.outcome == SettingsFile::Read::Outcome::Taken && take(read.bytes))
            return Refreshed::Changed;
    } catch (...) {
        // A refresh that cannot read now comes again with the next change of the file.
        if (const Failure failure = failed(); !failure.refuses())
            said(failure, true);
    }
    return Refreshed::Unchanged;
}

std::vector<StoreNotice> UserSettingsStore::takeNotices()
{
    return std::exchange(notices, {});
}

void UserSettingsStore::lock()
{
    try {
        onWorker([files = files, waiting = fileWorker.signOfLife()] { files->lockTurn(waiting); });
        turn = Turn::Locked;
    } catch (...) {
        const Failure failure = failed();
        if (failure.refuses())
            throw std::runtime_error(toldOf(failure, path(), false));
        said(failure);
    }
}

void UserSettingsStore::unlock()
{
    abandonSharedChange();
}

// Takes what was read as the values stored, and returns whether they differ from those held,
// changes not saved yet included, which it drops.
bool UserSettingsStore::take(const std::string& bytes)
{
    ini::Parsed parsed = ini::parse(bytes);
    const bool differs = parsed.values != (changed ? *changed : stored) || !held;
    stored = std::move(parsed.values);
    changed.reset();
    held = SettingsFile::fingerprint(bytes);
    if (std::exchange(unreadable, false))
        failedBecause.clear();
    misreadLines = std::move(parsed.misreadLines);
    return differs;
}

// The failure of the request that just threw; any other exception is a fault of the program's,
// for the caller to report.
Failure UserSettingsStore::failed()
{
    try {
        throw;
    } catch (const Failure& failure) {
        unreadable = unreadable || failure.cause == Failure::Cause::Unreadable;
        return failure;
    } catch (const FileWorker::NotAnswering&) {
        return Failure{Failure::Cause::NotAnswering, path()};
    }
}

// A refusal is said every time; any other failure when its cause is new, and not again while the
// cause lasts, whether it stops a read or a save.
void UserSettingsStore::said(const Failure& failure, bool reading)
{
    const std::string cause = toldOf(failure, path(), false);
    if (failure.refuses() || std::exchange(failedBecause, cause) != cause)
        notices.push_back({toldOf(failure, path(), reading), true});
}

void UserSettingsStore::notify(const std::string& text)
{
    notices.push_back({text, false});
}
