#include "platform/usersettingsstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::chrono::seconds lockPatience{2};

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error(message);
}

std::string settingsKey(const std::string& section, const std::string& key)
{
    return section + '/' + key;
}

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

// By the XDG base directory rules: $XDG_CONFIG_HOME where it is an absolute path, else the
// home's .config; the home is $HOME, or the user's entry in the password database.
std::string configHome()
{
    if (const char* configured = std::getenv("XDG_CONFIG_HOME"); isAbsolute(configured))
        return configured;
    const char* home = std::getenv("HOME");
    if (!isAbsolute(home)) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    return (isAbsolute(home) ? std::string(home) : std::string()) + "/.config";
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

UserSettingsStore::UserSettingsStore(const QString& applicationName)
    : file(configHome() + "/hix/" + QFile::encodeName(applicationName).toStdString() + ".conf")
    , lockFile(file.path() + ".lock")
{
    try {
        read();
    } catch (const std::runtime_error& error) {
        readFailure = notice = error.what();
    }
}

QString UserSettingsStore::executableBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
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

void UserSettingsStore::lock()
{
    file.makeFolder();
    if (!lockFile.lock(lockPatience))
        fail("Another copy of the program has been changing " + file.path() + " for more than "
            + std::to_string(lockPatience.count())
            + " seconds, so nothing was changed. Please try again.");
}

void UserSettingsStore::unlock()
{
    lockFile.unlock();
}

bool UserSettingsStore::reload()
{
    if (!readFailure && file.stamp() == stamp)
        return false;
    const bool wasRead = !readFailure;
    ini::Values before = std::move(stored);
    std::optional<ini::Values> unsaved = std::move(changed);
    try {
        read();
    } catch (const std::runtime_error& error) {
        stored = std::move(before);
        changed = std::move(unsaved);
        failAgain(error.what());
    }
    // A chmod or a touch changes the stamp, not what is stored: a change that could not be saved
    // yet stays for the next save.
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
        if (file.stamp() != SettingsFile::Stamp{})
            failAgain(*readFailure);
        readFailure.reset();
    }
    if (!hasUnsavedChanges())
        return;
    const std::string bytes = ini::serialise(*changed);
    if (unreadableBytes)
        keepUnreadableFile();
    stamp = file.replace(bytes);
    stored = std::move(*changed);
    changed.reset();
}

std::string UserSettingsStore::takeNotice()
{
    return std::exchange(notice, {});
}

void UserSettingsStore::read()
{
    SettingsFile::Contents contents = file.read();
    ini::Parsed parsed = ini::parse(contents.bytes);
    stamp = contents.stamp;
    stored = std::move(parsed.values);
    changed.reset();
    readFailure.reset();
    misreadLines = std::move(parsed.misreadLines);
    unreadableBytes.reset();
    if (!misreadLines.empty())
        unreadableBytes = std::move(contents.bytes);
}

// A failure that reaches the user as an error need not come again as a notice.
void UserSettingsStore::failAgain(const std::string& message)
{
    if (notice == message)
        notice.clear();
    fail(message);
}

void UserSettingsStore::keepUnreadableFile()
{
    const std::string keptAs = file.keepAside(*unreadableBytes);
    notice = "The settings file " + file.path() + " could not be read in full ("
        + listed(misreadLines) + "). It was kept as " + keptAs
        + ", and the list of recent files was started afresh from what could be read.";
    unreadableBytes.reset();
}
