#include "settings/usersettingsstore.h"

#include "settings/trust.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

// A save takes milliseconds, a tenth of a second on a slow disk: a copy that holds the lock for
// two seconds is stuck (on a disk that stopped answering, or stopped in a debugger), and ten
// seconds of other copies' turns is longer than any burst of a person's actions.
constexpr std::chrono::seconds holderPatience{2};
constexpr std::chrono::seconds turnsPatience{10};

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

UserSettingsStore::UserSettingsStore(std::string filePath)
    : file(std::move(filePath))
    , lockFile(file.path() + ".lock")
{
    if (!fileTrusted())
        return;
    try {
        take(*file.readIfChanged());
    } catch (const std::runtime_error& error) {
        readFailure = notice = error.what();
    }
}

QString UserSettingsStore::fileName() const
{
    return QFile::decodeName(QByteArray::fromStdString(file.path()));
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

void UserSettingsStore::lock()
{
    if (!fileTrusted())
        return;
    file.makeFolder();
    switch (lockFile.lock(holderPatience, turnsPatience)) {
    case LockFile::Outcome::Locked:
        holdingLock = true;
        return;
    case LockFile::Outcome::HeldTooLong:
        fail("Another copy of the program has been changing " + file.path() + " for more than "
            + std::to_string(holderPatience.count())
            + " seconds, so nothing was changed. Please try again.");
    case LockFile::Outcome::TurnsTooLong:
        fail("Other copies of the program have been changing " + file.path()
            + " one after another for more than " + std::to_string(turnsPatience.count())
            + " seconds, so nothing was changed. Please try again.");
    }
}

void UserSettingsStore::unlock()
{
    lockFile.unlock();
    holdingLock = false;
}

bool UserSettingsStore::reload()
{
    if (untrusted || (!holdingLock && !fileTrusted()))
        return false;
    std::optional<std::string> bytes;
    try {
        bytes = file.readIfChanged([this] { return lockFile.lastSave(); });
    } catch (const SettingsFile::BeingWritten& error) {
        // A change waits for the writer, and fails when it does not finish; a refresh comes again
        // with the writer's next change.
        if (!holdingLock)
            return false;
        fail(error.what());
    } catch (const std::runtime_error& error) {
        fail(error.what());
    }
    const bool wasRead = !readFailure;
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
    if (readFailure) {
        if (file.exists())
            fail(*readFailure);
        readFailure.reset();
    }
    if (!hasUnsavedChanges())
        return;
    if (untrusted || (!holdingLock && !fileTrusted())) {
        stored = std::move(*changed);
        changed.reset();
        return;
    }
    const std::string bytes = ini::serialise(*changed);
    if (keepBeforeWriting)
        keepUnreadableFile();
    try {
        file.replace(bytes);
    } catch (const SettingsFile::BeingWritten&) {
        // The other program's text is the list now; this change is not made over it.
        changed.reset();
        throw;
    }
    lockFile.recordSave(SettingsFile::fingerprint(bytes));
    stored = std::move(*changed);
    changed.reset();
}

std::string UserSettingsStore::takeNotice()
{
    return std::exchange(notice, {});
}

void UserSettingsStore::take(const std::string& bytes)
{
    ini::Parsed parsed = ini::parse(bytes);
    stored = std::move(parsed.values);
    changed.reset();
    readFailure.reset();
    misreadLines = std::move(parsed.misreadLines);
    keepBeforeWriting = !misreadLines.empty();
}

// Where the file may not be trusted with the list, the user is told so once, and the list is kept
// in memory for the rest of the session.
bool UserSettingsStore::fileTrusted()
{
    if (untrusted)
        return false;
    if (const std::optional<std::string> why = whyNotTrusted(file.path())) {
        untrusted = true;
        notice = "The list of recent files is kept for this session only: " + *why + '.';
    }
    return !untrusted;
}

// A failure that reaches the user as an error need not come again as a notice.
void UserSettingsStore::fail(const std::string& message)
{
    if (notice == message)
        notice.clear();
    throw std::runtime_error(message);
}

void UserSettingsStore::keepUnreadableFile()
{
    const std::string keptAs = file.keepAside();
    notice = "The settings file " + file.path() + " could not be read in full ("
        + listed(misreadLines) + "). It was kept as " + keptAs
        + ", and the list of recent files was started afresh from what could be read.";
    keepBeforeWriting = false;
}
