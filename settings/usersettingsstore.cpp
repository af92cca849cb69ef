#include "settings/usersettingsstore.h"

#include "settings/lockfile.h"
#include "settings/messages.h"
#include "settings/notsaved.h"
#include "settings/settingsfile.h"
#include "settings/way.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

// A save takes milliseconds, a tenth of a second on a slow disk: a copy that holds the lock for
// two seconds is stuck (on a disk that stopped answering, or stopped in a debugger), ten seconds
// of other copies' turns is longer than any burst of a person's actions, and a disk that shows no
// sign of life for two seconds has stopped answering (a network share whose server went away, a
// stalled FUSE file system, a stick pulled half-way).
constexpr std::chrono::seconds holderPatience{2};
constexpr std::chrono::seconds turnsPatience{10};
constexpr std::chrono::seconds diskPatience{2};

std::string settingsKey(const std::string& section, const std::string& key)
{
    return section + '/' + key;
}

// The first few lines only, so that a file of binary junk gives a box that fits on a screen.
std::string listed(const std::vector<int>& lines)
{
    constexpr std::size_t named = 5;
    const std::size_t shown = std::min(lines.size(), named);
    std::string text = lines.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && lines.size() == shown ? " and " : ", ";
        text += std::to_string(lines[i]);
    }
    if (lines.size() > shown)
        text += " and " + std::to_string(lines.size() - shown) + " more";
    return text;
}

} // namespace

struct UserSettingsStore::Files {
    explicit Files(const std::string& path)
        : file(path)
        , lock(path.substr(path.rfind('/') + 1) + ".lock")
    {
    }

    SettingsFile file;
    LockFile lock;
};

UserSettingsStore::UserSettingsStore(std::string filePath, int cutWaitsShortBy)
    : filePath(std::move(filePath))
    , files(std::make_shared<Files>(this->filePath))
{
    fileWorker.cutWaitsShortOn(cutWaitsShortBy);
    try {
        take(*onWorker([files = files] { return files->file.readIfChanged(); }));
    } catch (const Untrusted& untrusted) {
        distrust(untrusted);
    } catch (const FileWorker::NotAnswering&) {
        readLost = true;
        cannotSave(notAnsweringText(path()));
    } catch (const NotSaved& failure) {
        if (failure.error != ENOENT && failure.error != ENOTDIR)
            cannotRead("Could not read " + path() + ": " + notSavedText(failure, path()) + '.');
    } catch (const std::runtime_error& error) {
        cannotRead(error.what());
    }
}

// The files close on the worker: closing a file may wait on its disk.
UserSettingsStore::~UserSettingsStore()
{
    unlock();
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

bool UserSettingsStore::beginSharedChange()
{
    lock();
    if (!holdingLock)
        return false;
    try {
        return reload();
    } catch (...) {
        unlock();
        throw;
    }
}

void UserSettingsStore::finishSharedChange()
{
    try {
        if (holdingLock)
            flush();
    } catch (...) {
        unlock();
        throw;
    }
    unlock();
}

void UserSettingsStore::abandonSharedChange()
{
    revert();
    unlock();
}

bool UserSettingsStore::refresh()
{
    return reload();
}

bool UserSettingsStore::unread() const
{
    return neverRead || readFailure;
}

std::vector<StoreNotice> UserSettingsStore::takeNotices()
{
    return std::exchange(notices, {});
}

void UserSettingsStore::lock()
{
    lockAsked = true;
    LockFile::Outcome outcome;
    try {
        outcome = onWorker([files = files, waiting = fileWorker.signOfLife()] {
            Way& way = files->file.walkAgainIfMoved();
            // The lock file lives beside the settings file, in a folder made at the first save.
            if (!way.complete())
                way.makeFolders();
            return files->lock.lock(
                way.folder(), way.folderPath(), holderPatience, turnsPatience, waiting);
        });
    } catch (const Untrusted& untrusted) {
        distrust(untrusted);
        return;
    } catch (const FileWorker::NotAnswering&) {
        cannotSave(notAnsweringText(path()));
        return;
    } catch (const NotSaved& failure) {
        cannotSave(notSavedText(failure, path()));
        return;
    }
    switch (outcome) {
    case LockFile::Outcome::Locked:
        untrusted = false;
        holdingLock = true;
        return;
    case LockFile::Outcome::HeldTooLong:
        fail("Another copy of the program has been changing " + path() + " for more than "
            + std::to_string(holderPatience.count())
            + " seconds, so nothing was changed. Please try again.");
    case LockFile::Outcome::TurnsTooLong:
        fail("Other copies of the program have been changing " + path()
            + " one after another for more than " + std::to_string(turnsPatience.count())
            + " seconds, so nothing was changed. Please try again.");
    }
}

// The worker lets go of the lock after whatever it still does, without anyone waiting for it.
void UserSettingsStore::unlock()
{
    if (std::exchange(lockAsked, false))
        fileWorker.post([files = files] {
            files->lock.unlock();
            files->file.endTurn();
        });
    holdingLock = false;
}

bool UserSettingsStore::reload()
{
    std::optional<std::string> bytes;
    try {
        bytes = onWorker(
            [files = files, forget = std::exchange(readLost, false), walked = holdingLock] {
                // A turn walked the way as it took the lock.
                if (!walked)
                    files->file.walkAgainIfMoved();
                if (forget)
                    files->file.forget();
                return files->file.readIfChanged(
                    [files] { return files->lock.lastSave(files->file.way().folder()); });
            });
    } catch (const Untrusted& untrusted) {
        distrust(untrusted);
        return false;
    } catch (const FileWorker::NotAnswering&) {
        readLost = true;
        cannotSave(notAnsweringText(path()));
        return false;
    } catch (const NotSaved& failure) {
        if (failure.error != ENOENT && failure.error != ENOTDIR)
            cannotRead("Could not read " + path() + ": " + notSavedText(failure, path()) + '.');
        return false;
    } catch (const SettingsFile::BeingWritten& error) {
        // A change waits for the writer, and fails when it does not finish; a refresh comes again
        // with the writer's next change.
        if (!holdingLock)
            return false;
        fail(error.what());
    } catch (const std::runtime_error& error) {
        cannotRead(error.what());
        return false;
    }
    untrusted = false;
    const bool wasRead = !unread();
    if (!bytes) {
        readFailure.reset();
        return false;
    }
    const ini::Values before = std::move(stored);
    std::optional<ini::Values> unsaved = std::move(changed);
    take(*bytes);
    // A file rewritten with the same values, by hand or by another copy, changes nothing stored: a
    // change that could not be saved yet stays for the next save.
    if (wasRead && stored == before) {
        changed = std::move(unsaved);
        return false;
    }
    return true;
}

void UserSettingsStore::revert()
{
    changed.reset();
}

bool UserSettingsStore::hasUnsavedChanges() const
{
    return changed && *changed != stored;
}

void UserSettingsStore::flush()
{
    if (!hasUnsavedChanges())
        return;
    try {
        if (untrusted) {
            stored = std::move(*changed);
            changed.reset();
            return;
        }
        // Nothing is written over a file that could not be read, while it is there.
        if (readFailure && onWorker([files = files] { return files->file.exists(); }))
            return;
        readFailure.reset();
        if (keepBeforeWriting)
            keepUnreadableFile();
        const std::string bytes = ini::serialise(*changed);
        onWorker([files = files, bytes] {
            files->file.replace(bytes);
            files->lock.recordSave(SettingsFile::fingerprint(bytes));
        });
    } catch (const Untrusted& untrusted) {
        distrust(untrusted);
        stored = std::move(*changed);
        changed.reset();
        return;
    } catch (const FileWorker::NotAnswering&) {
        cannotSave(notAnsweringText(path()));
        return;
    } catch (const NotSaved& failure) {
        cannotSave(notSavedText(failure, path()));
        return;
    } catch (const SettingsFile::BeingWritten&) {
        // The other program's text is the list now; this change is not made over it.
        changed.reset();
        throw;
    }
    failedBecause.clear();
    stored = std::move(*changed);
    changed.reset();
}

void UserSettingsStore::take(const std::string& bytes)
{
    ini::Parsed parsed = ini::parse(bytes);
    stored = std::move(parsed.values);
    changed.reset();
    neverRead = false;
    if (readFailure && failedBecause == *readFailure)
        failedBecause.clear();
    readFailure.reset();
    misreadLines = std::move(parsed.misreadLines);
    keepBeforeWriting = !misreadLines.empty();
}

// Where the way or the file may not be trusted with the list, the user is told so once, and the
// list is kept in memory until they may.
void UserSettingsStore::distrust(const Untrusted& why)
{
    untrusted = true;
    failedOnce(
        "The list of recent files is kept for this session only: " + untrustedText(why) + '.');
}

void UserSettingsStore::keepUnreadableFile()
{
    const std::string keptAs = onWorker([files = files] { return files->file.keepAside(); });
    notify("The settings file " + path() + " could not be read in full (" + listed(misreadLines)
        + "). It was kept as " + keptAs
        + ", and the list of recent files was started afresh from what could be read.");
    keepBeforeWriting = false;
}

void UserSettingsStore::cannotSave(const std::string& why)
{
    failedOnce("The list of recent files could not be saved: " + why + '.');
}

void UserSettingsStore::cannotRead(const std::string& why)
{
    readFailure = why;
    failedOnce(why);
}

// A failure is said when it is new: while its cause lasts, later actions stay quiet.
void UserSettingsStore::failedOnce(const std::string& text)
{
    if (std::exchange(failedBecause, text) != text)
        notices.push_back({text, true});
}

void UserSettingsStore::notify(const std::string& text)
{
    notices.push_back({text, false});
}

void UserSettingsStore::fail(const std::string& message)
{
    throw std::runtime_error(message);
}
