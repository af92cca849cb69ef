#include "usersettingsstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int lockTimeoutMs = 2000;

QString settingsKey(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + u'/' + QString::fromStdString(key);
}

// The system's words for an error, except where a person would put it plainer.
QString systemError(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("your disk quota is used up");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

qint64 nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

UserSettingsStore::FileStamp stampOf(const struct stat& info)
{
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
        nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

// QSettings reads an unquoted "," in a value as a list separator and an unquoted ";" as the start
// of a comment, so a hand-written "1=/a,b;c" comes back as "/a, b". It quotes such values itself.
bool hasUnquotedSeparator(QStringView value)
{
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'"')
            quoted = !quoted;
        else if (quoted && value[i] == u'\\')
            ++i;
        else if (!quoted && (value[i] == u',' || value[i] == u';'))
            return true;
    }
    return false;
}

// Lines that QSettings would skip or misread, and so drop at the next save: anything but blank
// lines, ";" comments, "[section]" headers and key=value pairs, in UTF-8 without control bytes.
bool holdsOnlyReadableLines(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return false;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        line = line.trimmed();
        const bool hasControl = std::ranges::any_of(line, [](QChar c) { return c < u' '; });
        if (hasControl)
            return false;
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.contains(u']'))
                return false;
        } else if (!line.contains(u'=')
            || hasUnquotedSeparator(line.sliced(line.indexOf(u'=') + 1))) {
            return false;
        }
    }
    return true;
}

const char scratchPrefix[] = "hix-settings-";

// Scratch files hold the user's list, so they go to the user's own folder for files that last no
// longer than the session: private to them and, on most desktops, in memory, where neither writing
// nor syncing them touches the disk.
QString scratchFolder()
{
    static const QString folder = [] {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        return runtime.isEmpty() ? QDir::tempPath() : runtime;
    }();
    return folder;
}

// A copy killed while it parses, serialises or saves leaves files named after it: PREFIX and its
// process number. Those whose process is gone can go.
void removeFilesOfEndedCopies(const QString& folder, const QByteArray& prefix)
{
    DIR* entries = ::opendir(QFile::encodeName(folder).constData());
    if (!entries)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) != 0)
            continue;
        const long owner = std::strtol(entry->d_name + prefix.size(), nullptr, 10);
        if (owner > 0 && ::kill(pid_t(owner), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(entries), entry->d_name, 0);
    }
    ::closedir(entries);
}

// QSettings reads and writes INI text only through a file, and it caches what it read by file name
// with a time stamp too coarse to tell two quick saves apart. A scratch file of a new name for
// every use keeps each parse and each serialisation to the bytes at hand. The names come from the
// process and a count, not at random: seeding Qt's random generator takes half a millisecond of
// start-up on a virtual machine.
class ScratchFile {
public:
    ScratchFile()
    {
        static std::atomic<unsigned> made;
        const QString folder = scratchFolder();
        for (int attempt = 0;; ++attempt) {
            file.setFileName(QStringLiteral("%1/%2%3-%4.conf")
                                 .arg(folder, QLatin1String(scratchPrefix))
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(made++));
            if (file.open(QIODevice::ReadWrite | QIODevice::NewOnly,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                return;
            // A name can be left taken by a copy that died with the same process number.
            if (!file.exists() || attempt == 100)
                fail(QStringLiteral("Could not create a scratch file in %1: %2.")
                         .arg(folder, file.errorString()));
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { QFile::remove(file.fileName()); }

    QString name() const { return file.fileName(); }
    QFile file;
};

QMap<QString, QVariant> parsed(const QByteArray& bytes, bool& formatError)
{
    ScratchFile scratch;
    if (scratch.file.write(bytes) != bytes.size() || !scratch.file.flush())
        fail(QStringLiteral("Could not write the scratch file %1: %2.")
                 .arg(scratch.name(), scratch.file.errorString()));
    QSettings ini(scratch.name(), QSettings::IniFormat);
    QMap<QString, QVariant> values;
    bool oddKey = false;
    for (const QString& key : ini.allKeys()) {
        // A hand-written key such as "3/" lists as itself but reads and writes as "3": its value
        // is lost on reading, and saving it would write over the real key 3.
        if (key.endsWith(u'/') || key.contains(QStringLiteral("//")) || key.contains(u'\\')) {
            oddKey = true;
            continue;
        }
        values.insert(key, ini.value(key));
    }
    formatError = oddKey || ini.status() == QSettings::FormatError;
    return values;
}

QByteArray serialised(const QMap<QString, QVariant>& values)
{
    ScratchFile scratch;
    {
        QSettings ini(scratch.name(), QSettings::IniFormat);
        for (auto value = values.begin(); value != values.end(); ++value)
            ini.setValue(value.key(), value.value());
        ini.sync();
        if (ini.status() != QSettings::NoError)
            fail(QStringLiteral("Could not write the scratch file %1.").arg(scratch.name()));
    }
    // QSettings replaced the scratch file, so it is read again by name.
    QFile written(scratch.name());
    if (!written.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Could not read the scratch file %1: %2.")
                 .arg(scratch.name(), written.errorString()));
    return written.readAll();
}

QByteArray readAll(int descriptor, const QString& path)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got == 0)
            return bytes;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("Could not read %1: %2.").arg(path, systemError(errno)));
        }
        bytes.append(buffer, got);
    }
}

// A renamed file survives a power cut only once its folder is on disk too.
void syncFolder(const QString& folder)
{
    const int descriptor
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && ::fsync(descriptor) == 0;
    const int error = errno;
    if (descriptor >= 0)
        ::close(descriptor);
    if (!synced)
        fail(QStringLiteral("Could not save the settings in %1: %2.")
                 .arg(folder, systemError(error)));
}

// Replaces the file so that it is at every moment the old file or the new one: the new bytes go
// to "<file>.saving-<process>", are synced and renamed over the old. QSaveFile would do it, but it
// commits what it has after a failed buffered write, ignores a failed sync, and a copy killed
// midway leaves a file of a random name that cannot be told from one of the user's.
void replaceFile(const QString& path, const QByteArray& bytes)
{
    // A settings file that links elsewhere (into a dotfiles repository, say) is replaced where it
    // lives, so that the link stays.
    const QFileInfo info(path);
    const QString real = !info.isSymLink() ? path
        : info.exists()                    ? info.canonicalFilePath()
                                           : info.symLinkTarget();
    const QByteArray target = QFile::encodeName(real);
    const QByteArray temporary
        = target + ".saving-" + QByteArray::number(QCoreApplication::applicationPid());
    const auto failWith = [&](int error) {
        ::unlink(temporary.constData());
        fail(
            QStringLiteral("Could not save the settings to %1: %2.").arg(real, systemError(error)));
    };
    struct stat old { };
    const bool exists = ::stat(target.constData(), &old) == 0;
    // Root may write anywhere; anyone else finds a settings file made read-only left as it is.
    if (exists && ::access(target.constData(), W_OK) != 0)
        failWith(errno);
    const int descriptor = ::open(
        temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, exists ? 0600 : 0666);
    if (descriptor < 0)
        failWith(errno);
    const auto closeAndFailWith = [&](int error) {
        ::close(descriptor);
        failWith(error);
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written
            = ::write(descriptor, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            closeAndFailWith(written < 0 ? errno : EIO);
        done += written;
    }
    if (exists && ::fchmod(descriptor, old.st_mode & 07777) != 0)
        closeAndFailWith(errno);
    if (::fdatasync(descriptor) != 0)
        closeAndFailWith(errno);
    if (::close(descriptor) != 0)
        failWith(errno);
    if (::rename(temporary.constData(), target.constData()) != 0)
        failWith(errno);
}

} // namespace

UserSettingsStore::UserSettingsStore(const QString& applicationName)
    : path(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/hix/") + applicationName + QStringLiteral(".conf"))
{
    try {
        read();
    } catch (const std::runtime_error& error) {
        // Nothing is written over a file that could not be read; the next change tries again.
        readFailure = QString::fromUtf8(error.what());
        notice = error.what();
    }
}

UserSettingsStore::~UserSettingsStore()
{
    unlock();
    pin(-1);
}

QString UserSettingsStore::executableBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void UserSettingsStore::removeScratchFilesOfEndedCopies()
{
    removeFilesOfEndedCopies(scratchFolder(), scratchPrefix);
}

QString UserSettingsStore::fileName() const
{
    return path;
}

std::string UserSettingsStore::GetSetting(
    const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    const auto found = values.constFind(settingsKey(section, key));
    if (found == values.constEnd())
        return defaultValue;
    // A hand-written value with unquoted commas reads as a list; keep what was written.
    if (found->typeId() == QMetaType::QStringList)
        return found->toStringList().join(QStringLiteral(", ")).toStdString();
    return found->toString().toStdString();
}

void UserSettingsStore::SaveSetting(
    const std::string& section, const std::string& key, const std::string& value)
{
    values.insert(settingsKey(section, key), QString::fromStdString(value));
}

void UserSettingsStore::DeleteSetting(const std::string& section, const std::string& key)
{
    values.remove(settingsKey(section, key));
}

void UserSettingsStore::lock()
{
    // The kernel drops the lock of a copy that ends, however it ends: no lock outlives its holder.
    QDir().mkpath(QFileInfo(path).path());
    const QString lockName = path + QStringLiteral(".lock");
    const int descriptor
        = ::open(QFile::encodeName(lockName).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        fail(QStringLiteral("Could not lock %1: %2.").arg(lockName, systemError(errno)));
    const QDeadlineTimer deadline(lockTimeoutMs);
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if ((error == EWOULDBLOCK || error == EINTR) && !deadline.hasExpired()) {
            QThread::msleep(1);
            continue;
        }
        ::close(descriptor);
        if (error == EWOULDBLOCK)
            fail(QStringLiteral("Another copy of the program has been changing %1 for more than "
                                "%2 seconds, so nothing was changed. Please try again.")
                     .arg(path)
                     .arg(lockTimeoutMs / 1000));
        fail(QStringLiteral("Could not lock %1: %2.").arg(lockName, systemError(error)));
    }
    lockDescriptor = descriptor;
}

void UserSettingsStore::unlock()
{
    if (lockDescriptor >= 0)
        ::close(lockDescriptor);
    lockDescriptor = -1;
}

bool UserSettingsStore::reload()
{
    if (readFailure.isEmpty() && currentStamp() == stamp)
        return false;
    const bool wasRead = readFailure.isEmpty();
    const Values before = stored;
    const Values unsaved = values;
    read();
    // A chmod or a touch changes the stamp, not what is stored: a change that could not be saved
    // yet stays for the next save.
    if (wasRead && stored == before) {
        values = unsaved;
        return false;
    }
    return true;
}

void UserSettingsStore::revert()
{
    values = stored;
}

bool UserSettingsStore::hasUnsavedChanges() const
{
    return values != stored;
}

void UserSettingsStore::flush()
{
    if (!readFailure.isEmpty()) {
        if (currentStamp() != FileStamp{})
            fail(readFailure);
        readFailure.clear();
    }
    if (values == stored)
        return;
    const QByteArray bytes = serialised(values);
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("Could not save the settings: the folder %1 cannot be created.")
                 .arg(folder));
    if (!unreadableBytes.isEmpty())
        keepUnreadableCopy();
    if (!std::exchange(unfinishedSavesRemoved, true))
        removeFilesOfEndedCopies(
            folder, QFile::encodeName(QFileInfo(path).fileName()) + ".saving-");
    replaceFile(path, bytes);
    syncFolder(folder);

    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info { };
    if (descriptor >= 0 && ::fstat(descriptor, &info) == 0)
        stamp = stampOf(info);
    else
        stamp = {};
    pin(descriptor);
    stored = values;
}

std::string UserSettingsStore::takeNotice()
{
    return std::exchange(notice, {});
}

UserSettingsStore::FileStamp UserSettingsStore::currentStamp() const
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return stampOf(info);
}

void UserSettingsStore::read()
{
    QByteArray bytes;
    FileStamp readStamp;
    int descriptor = -1;
    // A file edited in place while it is read is read again, so no mix of two versions is taken.
    for (int attempt = 1;; ++attempt) {
        descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            if (errno != ENOENT && errno != ENOTDIR)
                fail(QStringLiteral("Could not read %1: %2.").arg(path, systemError(errno)));
            bytes.clear();
            readStamp = {};
            break;
        }
        struct stat before {
        }, after{};
        ::fstat(descriptor, &before);
        try {
            bytes = readAll(descriptor, path);
        } catch (...) {
            ::close(descriptor);
            throw;
        }
        ::fstat(descriptor, &after);
        readStamp = stampOf(after);
        if (stampOf(before) == readStamp)
            break;
        ::close(descriptor);
        if (attempt == 5)
            fail(
                QStringLiteral("Could not read %1: it kept changing while it was read.").arg(path));
    }

    bool formatError = false;
    Values read;
    try {
        read = parsed(bytes, formatError);
    } catch (...) {
        if (descriptor >= 0)
            ::close(descriptor);
        throw;
    }
    pin(descriptor);
    stamp = readStamp;
    stored = values = read;
    readFailure.clear();
    unreadableBytes = formatError || !holdsOnlyReadableLines(bytes) ? bytes : QByteArray();
}

void UserSettingsStore::pin(int descriptor)
{
    if (pinned >= 0)
        ::close(pinned);
    pinned = descriptor;
}

void UserSettingsStore::keepUnreadableCopy()
{
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hhmmss"));
    for (int n = 1;; ++n) {
        const QString copyName = path + QStringLiteral(".unreadable-") + when
            + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        QFile copy(copyName);
        if (copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (copy.write(unreadableBytes) != unreadableBytes.size() || !copy.flush()
                || ::fsync(copy.handle()) != 0)
                fail(QStringLiteral("Could not keep a copy of the unreadable settings file %1 in "
                                    "%2: %3. It was left as it is.")
                         .arg(path, copyName, copy.errorString()));
            notice = QStringLiteral("The settings file %1 could not be read in full. It was copied "
                                    "to %2, and the list of recent files was started afresh from "
                                    "what could be read.")
                         .arg(path, copyName)
                         .toStdString();
            unreadableBytes = QByteArray();
            return;
        }
        if (!copy.exists())
            fail(QStringLiteral("Could not keep a copy of the unreadable settings file %1: %2. "
                                "It was left as it is.")
                     .arg(path, copy.errorString()));
    }
}
