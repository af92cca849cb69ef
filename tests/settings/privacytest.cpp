#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace {

// The test's own fchmod and linkat stand for the C library's, so that it can play a file system
// without permissions or hard links, as FAT is through FUSE.
bool permissionsMissing = false;

template<typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int missing(int error)
{
    errno = error;
    return -1;
}

} // namespace

extern "C" int fchmod(int descriptor, mode_t mode)
{
    static const auto next = real<int (*)(int, mode_t)>("fchmod");
    return permissionsMissing ? missing(ENOSYS) : next(descriptor, mode);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    return permissionsMissing ? missing(EPERM) : next(fromFolder, from, toFolder, to, flags);
}

namespace {

// An ACL as the kernel keeps it, from entries of tag, permissions and id.
QByteArray aclFrom(std::initializer_list<std::tuple<int, int, std::uint32_t>> entries)
{
    QByteArray acl;
    const auto append = [&acl](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl.append(char(value >> (8 * i)));
    };
    append(2, 4);
    for (const auto& [tag, permissions, id] : entries) {
        append(std::uint32_t(tag), 2);
        append(std::uint32_t(permissions), 2);
        append(id, 4);
    }
    return acl;
}

// user::rw-, user:nobody:r--, group::---, mask::r--, other::---.
QByteArray aclReadableByNobody()
{
    return aclFrom({{1, 6, ~0u}, {2, 4, 65534u}, {4, 0, ~0u}, {16, 4, ~0u}, {32, 0, ~0u}});
}

bool setAcl(const QString& path, const char* kind, const QByteArray& acl)
{
    return ::setxattr(
               QFile::encodeName(path).constData(), kind, acl.data(), std::size_t(acl.size()), 0)
        == 0;
}

QByteArray aclOf(const QString& path)
{
    QByteArray acl(256, '\0');
    const ssize_t size = ::getxattr(
        QFile::encodeName(path).constData(), "system.posix_acl_access", acl.data(), acl.size());
    return acl.left(size > 0 ? size : 0);
}

bool chownTo(const QString& path, uid_t user, gid_t group)
{
    return ::lchown(QFile::encodeName(path).constData(), user, group) == 0;
}

gid_t nogroup()
{
    const group* entry = ::getgrnam("nogroup");
    return entry ? entry->gr_gid : 65534;
}

} // namespace

// Lays out what a row needs under its folder, as the user the test runs as or root, and returns
// the settings file's path.
using Arrange = std::function<QString(const QString& folder)>;
Q_DECLARE_METATYPE(Arrange)

namespace {

// Another user, who need not have an account.
constexpr uid_t bob = 4242;

QString made(const QString& path, mode_t mode, uid_t owner = uid_t(-1), gid_t group = gid_t(-1))
{
    const QByteArray name = QFile::encodeName(path);
    if (!QDir().mkpath(path) || ::chmod(name.constData(), mode) != 0
        || ::lchown(name.constData(), owner, group) != 0)
        qFatal("cannot make %s", name.constData());
    return path;
}

QString linked(const QString& link, const QString& target, uid_t owner = uid_t(-1))
{
    if (!QFile::link(target, link) || !chownTo(link, owner, gid_t(-1)))
        qFatal("cannot link %s", qPrintable(link));
    return link;
}

// Everything under folder, named relative to it, as far as a save could change it.
QStringList everything(const QString& folder)
{
    QStringList found{described(folder)};
    QDirIterator entries(folder,
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        found << path.mid(folder.size()) + u' ' + described(path);
    }
    found.sort();
    return found;
}

// The accounts of a system on which the user has a private group, and besides whatever a row
// adds: as /etc/passwd, then /etc/group.
std::pair<QByteArray, QByteArray> privateGroupAccounts(const QByteArray& otherAccounts)
{
    const QByteArray user = QByteArray::number(::getuid());
    const QByteArray group = QByteArray::number(::getgid());
    return {"alice:x:" + user + ':' + group + "::/nonexistent:/bin/sh\n" + otherAccounts,
        "alice:x:" + group + ":\n"};
}

} // namespace

// The list is kept only where it is the user's: anything on the way that another user owns or
// may change keeps it in memory for the session, untouched; what is the user's is saved with its
// permissions kept, whatever the names and the file system.
class PrivacyTest : public QObject {
    Q_OBJECT

private slots:
    void theListIsKeptOnlyWhereItIsTheUsers_data();
    void theListIsKeptOnlyWhereItIsTheUsers();
    void everyStepIsJudgedOnWhatWasOpened_data();
    void everyStepIsJudgedOnWhatWasOpened();
    void aWaySwappedWhileSavingRedirectsNothing();

private:
    SettingsHome home;
};

void PrivacyTest::theListIsKeptOnlyWhereItIsTheUsers_data()
{
    QTest::addColumn<QString>("kind");
    // What the notice says is wrong and where, relative to the home; nothing where it is saved.
    QTest::addColumn<QString>("refused");
    QTest::newRow("file of another user") << "foreign file"
                                          << "hix/x.conf is owned by another user";
    QTest::newRow("folder of another user") << "foreign folder"
                                            << "hix is owned by another user";
    QTest::newRow("group-writable folder") << "group folder"
                                           << "hix can be changed by other users";
    QTest::newRow("file anyone may write") << "0666 file"
                                           << "hix/x.conf can be changed by other users";
    QTest::newRow("planted link to a private file") << "planted link"
                                                    << "hix/x.conf is a link made by another user";
    QTest::newRow("configuration home too long for a path") << "long path"
                                                            << "is longer than the system allows";
    QTest::newRow("file with an ACL") << "acl" << QString();
    QTest::newRow("file system without permissions") << "no permissions" << QString();
    QTest::newRow("longest file name") << "long name" << QString();
    QTest::newRow("names that are not UTF-8") << "not utf-8" << QString();
}

void PrivacyTest::theListIsKeptOnlyWhereItIsTheUsers()
{
    QFETCH(QString, kind);
    QFETCH(QString, refused);
    if ((kind.startsWith("foreign") || kind == "planted link") && ::getuid() != 0)
        QSKIP("only root can give files to another user");
    const QString base
        = home.path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const QString folder = base + QStringLiteral("/hix");
    QString file = folder + QStringLiteral("/x.conf");
    QVERIFY(QDir().mkpath(folder));
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size()
            && out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    };
    const QByteArray before = "[Config]\nMAX_FILES=5\nnoHIX=1\n\n[Recent%20Files]\n1=/before\n";
    QVERIFY(write(file, before));
    QString secret;
    QString longPath;
    if (kind == "foreign file") {
        QVERIFY(chownTo(file, 65534, nogroup()));
    } else if (kind == "foreign folder") {
        QVERIFY(chownTo(folder, 65534, nogroup()));
    } else if (kind == "group folder") {
        QVERIFY(chownTo(folder, uid_t(-1), nogroup()));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0770) == 0);
    } else if (kind == "0666 file") {
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0666) == 0);
    } else if (kind == "planted link") {
        QVERIFY(QDir().mkpath(base + QStringLiteral("/private")));
        secret = base + QStringLiteral("/private/letters.txt");
        QVERIFY(write(secret, "dear diary"));
        QVERIFY(QFile::remove(file) && QFile::link(secret, file));
        QVERIFY(chownTo(file, 65534, nogroup()));
    } else if (kind == "long path") {
        longPath = base + u'/' + QString(100, u'n');
        file = longPath + (u'/' + QString(100, u'n')).repeated(40) + QStringLiteral("/hix/x.conf");
    } else if (kind == "acl") {
        const QByteArray acl = aclReadableByNobody();
        if (::setxattr(QFile::encodeName(file).constData(), "system.posix_acl_access", acl.data(),
                acl.size(), 0)
            != 0)
            QSKIP("this file system has no ACLs");
    } else if (kind == "long name") {
        file = folder + u'/' + QString(210, u'n') + QStringLiteral(".conf");
        QVERIFY(write(file, before + "junk\n"));
    } else if (kind == "no permissions") {
        QVERIFY(write(file, before + "junk\n"));
    } else if (kind == "not utf-8") {
        // Two programs whose names differ in bytes that are no UTF-8 keep two lists.
        const QByteArray bytes = QFile::encodeName(folder);
        UserSettingsStore first((bytes + "/hix\xE9.conf").toStdString());
        UserSettingsStore second((bytes + "/hix\xFF.conf").toStdString());
        changeStore(first, [&] { first.SaveSetting("Recent Files", "1", "/first"); });
        changeStore(second, [&] { second.SaveSetting("Recent Files", "1", "/second"); });
        QCOMPARE(UserSettingsStore(first.path()).GetSetting("Recent Files", "1", ""), "/first");
        QCOMPARE(UserSettingsStore(second.path()).GetSetting("Recent Files", "1", ""), "/second");
        // Qt's folders cannot name these files to remove them.
        for (const UserSettingsStore* store : {&first, &second}) {
            ::unlink(store->path().c_str());
            ::unlink((store->path() + ".lock").c_str());
        }
        return;
    }
    const QString untouched = described(file);
    const QString secretBefore = described(secret);

    permissionsMissing = kind == "no permissions";
    UserSettingsStore store(QFile::encodeName(file).toStdString());
    const QString notice = QString::fromStdString(noticesOf(store));
    for (const char* path : {"/one", "/two"}) {
        store.beginSharedChange();
        store.SaveSetting("Recent Files", "1", path);
        store.finishSharedChange();
        QCOMPARE(store.GetSetting("Recent Files", "1", ""), path);
    }
    permissionsMissing = false;
    const QString kept = QString::fromStdString(noticesOf(store));

    if (!refused.isEmpty()) {
        QVERIFY2(
            notice.contains(QStringLiteral("for this session only")) && notice.contains(refused),
            qPrintable(notice));
        QCOMPARE(described(file), untouched);
        QCOMPARE(described(secret), secretBefore);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System),
            QStringList{"x.conf"});
        QVERIFY(longPath.isEmpty() || !QFileInfo::exists(longPath));
        return;
    }
    QVERIFY2(notice.isEmpty(), qPrintable(notice));
    QCOMPARE(UserSettingsStore(store.path()).GetSetting("Recent Files", "1", ""), "/two");
    QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser),
        kind == "acl" ? QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                      : QFile::ReadOwner | QFile::WriteOwner);
    if (kind == "acl")
        QCOMPARE(aclOf(file), aclReadableByNobody());
    if (kind == "long name" || kind == "no permissions")
        QVERIFY2(kept.contains(QStringLiteral("It was kept as")), qPrintable(kept));
}

void PrivacyTest::everyStepIsJudgedOnWhatWasOpened_data()
{
    QTest::addColumn<Arrange>("arrange");
    // Rows that need root: to give files to another user, or to run the save as one.
    QTest::addColumn<bool>("needsRoot");
    // The save runs as nobody rather than as whoever runs the test.
    QTest::addColumn<bool>("asNobody");
    // Extra lines of /etc/passwd on a system where the user has a private group; none for the
    // system's own accounts.
    QTest::addColumn<std::optional<QByteArray>>("accounts");
    // What the message says, relative to the row's folder; nothing where the list is saved.
    QTest::addColumn<QString>("said");
    // The mode the saved file has, where it is saved.
    QTest::addColumn<int>("savedMode");

    const std::optional<QByteArray> systemAccounts;
    QTest::newRow("link planted in the middle of a chain")
        << Arrange([](const QString& folder) {
               made(folder + "/team", 01777);
               made(folder + "/public", 0700);
               QFile notes(folder + "/public/notes.txt");
               if (!notes.open(QIODevice::WriteOnly) || notes.write("my notes\n") < 0)
                   qFatal("no notes");
               linked(folder + "/team/x.conf", folder + "/public/notes.txt", bob);
               made(folder + "/config/hix", 0700);
               return linked(folder + "/config/hix/x.conf", folder + "/team/x.conf");
           })
        << true << false << systemAccounts
        << "/team/x.conf is a link made by another user (4242). Remove it, and the list is saved "
           "then."
        << 0;
    QTest::newRow("folder above the configuration home that others may change")
        << Arrange([](const QString& folder) {
               return made(folder + "/shared", 0777) + "/config/hix/x.conf";
           })
        << false << false << systemAccounts
        << "/shared can be changed by other users. Take that away (chmod go-w " << 0;
    QTest::newRow("folder above the configuration home of another user")
        << Arrange([](const QString& folder) {
               return made(folder + "/bob", 0755, bob) + "/config/hix/x.conf";
           })
        << true << false << systemAccounts << "/bob is owned by another user (4242)" << 0;
    QTest::newRow("run as root in another user's home without a configuration folder")
        << Arrange([](const QString& folder) {
               return made(folder + "/home", 0755, bob) + "/.config/hix/x.conf";
           })
        << true << false << systemAccounts
        << "/home is owned by another user (4242), and the program runs as root, whose files "
           "there that user could not change. Run it as 4242 to keep the list."
        << 0;
    QTest::newRow("the user's group, another account's primary group")
        << Arrange(
               [](const QString& folder) { return made(folder + "/config/hix", 0770) + "/x.conf"; })
        << false << false
        << std::optional<QByteArray>(
               "carol:x:4243:" + QByteArray::number(::getgid()) + "::/nonexistent:/bin/sh\n")
        << "/config/hix can be changed by other users: its group, alice, may write in it" << 0;
    QTest::newRow("the user's private group and a read-only ACL entry") << Arrange(
        [](const QString& folder) {
            const QString hix = made(folder + "/config/hix", 0770);
            if (!setAcl(hix, "system.posix_acl_access",
                    aclFrom({{1, 7, ~0u}, {2, 5, 4244u}, {4, 7, ~0u}, {16, 7, ~0u}, {32, 0, ~0u}})))
                qFatal("this file system has no ACLs");
            return hix + "/x.conf";
        }) << false << false << std::optional<QByteArray>("") << QString()
                                                                        << 0600;
    QTest::newRow("file of a group the user is not in") << Arrange([](const QString& folder) {
        made(folder + "/config/hix", 0700, 65534, 65534);
        QFile file(folder + "/config/hix/x.conf");
        if (!file.open(QIODevice::WriteOnly) || file.write("[Config]\nnoHIX=0\n") < 0
            || ::fchmod(file.handle(), 0640) != 0 || ::fchown(file.handle(), 65534, 34) != 0)
            qFatal("cannot give the file to the group");
        return file.fileName();
    }) << true << true << systemAccounts << QString() << 0600;
    QTest::newRow("settings folder root owns, for its user")
        << Arrange([](const QString& folder) {
               made(folder + "/config", 0700, 65534, 65534);
               return made(folder + "/config/hix", 0755) + "/x.conf";
           })
        << true << true << systemAccounts
        << "/config/hix is owned by another user (root). Have it given to your account (sudo "
           "chown nobody "
        << 0;
}

// Each step from "/" to the file is judged on what the walk opened: another user's folder or link
// anywhere on the way, a group another account shares, refuse with a message that says what to
// do and change nothing on the disk; what only the user can change is saved, keeping no group's
// bits the user cannot keep.
void PrivacyTest::everyStepIsJudgedOnWhatWasOpened()
{
    QFETCH(Arrange, arrange);
    QFETCH(bool, needsRoot);
    QFETCH(bool, asNobody);
    QFETCH(std::optional<QByteArray>, accounts);
    QFETCH(QString, said);
    QFETCH(int, savedMode);
    if (needsRoot && ::getuid() != 0)
        QSKIP("only root can give files to another user or save as one");
    // nobody must reach the row's folder through the test's home, which is root's.
    QVERIFY(::chmod(QFile::encodeName(home.path()).constData(), 0711) == 0);
    const QString folder
        = made(home.path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-')), 0711);
    const QString file = arrange(folder);
    const QStringList before = everything(folder);

    QStringList arguments{file};
    if (asNobody)
        arguments << "--as"
                  << "65534:65534";
    QTemporaryDir etc;
    if (accounts) {
        const auto [passwd, group] = privateGroupAccounts(*accounts);
        QFile passwdFile(etc.filePath("passwd"));
        QFile groupFile(etc.filePath("group"));
        QVERIFY(passwdFile.open(QIODevice::WriteOnly) && passwdFile.write(passwd) > 0);
        QVERIFY(groupFile.open(QIODevice::WriteOnly) && groupFile.write(group) > 0);
        arguments << "--accounts" << passwdFile.fileName() << groupFile.fileName();
    }
    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(QStringLiteral(PRIVACY_DRIVER), arguments);
    QVERIFY(driver.waitForFinished(20'000));
    if (driver.exitCode() == 77)
        QSKIP("this machine gives no user namespace for the accounts of a row");
    QCOMPARE(driver.exitCode(), 0);
    const QString notices = QString::fromUtf8(driver.readAllStandardOutput()).trimmed();

    if (!said.isEmpty()) {
        QVERIFY2(notices.contains(folder + said), qPrintable(notices));
        QCOMPARE(everything(folder), before);
        return;
    }
    QVERIFY2(notices.isEmpty(), qPrintable(notices));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll().contains("1=/one"));
    struct stat info { };
    QVERIFY(::stat(QFile::encodeName(file).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), savedMode);
}

// A folder above the configuration home is swapped, again and again while the list is saved, with
// a look-alike whose own folder anyone may write and whose default ACL would hand another user
// what is made in it: nothing of the list lands in the look-alike, and the file stays private.
void PrivacyTest::aWaySwappedWhileSavingRedirectsNothing()
{
    const QString folder = made(home.path(QStringLiteral("swapped")), 0700);
    const QString way = made(folder + "/way/config/hix", 0700).chopped(11);
    const QString decoy = made(folder + "/decoy/config/hix", 0700).chopped(11);
    QVERIFY(::chmod(QFile::encodeName(decoy).constData(), 0777) == 0);
    const bool inherits = setAcl(decoy, "system.posix_acl_default",
        aclFrom({{1, 7, ~0u}, {2, 7, bob}, {4, 7, ~0u}, {16, 7, ~0u}, {32, 7, ~0u}}));
    const QStringList decoyBefore = everything(decoy);
    std::atomic<bool> swapping = true;
    std::thread swapper([&] {
        const QByteArray one = QFile::encodeName(way);
        const QByteArray other = QFile::encodeName(decoy);
        while (swapping)
            ::renameat2(AT_FDCWD, one.constData(), AT_FDCWD, other.constData(), RENAME_EXCHANGE);
    });
    const int saves = std::max(50, qEnvironmentVariableIntValue("HIX_SWAPPED_SAVES"));
    {
        UserSettingsStore store(QFile::encodeName(way + "/config/hix/x.conf").toStdString());
        for (int save = 0; save < saves; ++save) {
            store.beginSharedChange();
            store.SaveSetting("Recent Files", "1", "/saved/" + std::to_string(save));
            store.finishSharedChange();
        }
    }
    swapping = false;
    swapper.join();
    // Whichever name each has now, the look-alike is the folder anyone may write.
    const bool swappedAtEnd = QFileInfo(way).permissions().testFlag(QFile::WriteOther);
    QCOMPARE(everything(swappedAtEnd ? way : decoy), decoyBefore);
    const QString file = (swappedAtEnd ? decoy : way) + "/config/hix/x.conf";
    struct stat info { };
    QVERIFY2(::stat(QFile::encodeName(file).constData(), &info) == 0, "no save was made");
    QCOMPARE(int(info.st_mode & 0777), 0600);
    if (inherits)
        QCOMPARE(aclOf(file), QByteArray());
}

QTEST_GUILESS_MAIN(PrivacyTest)
#include "privacytest.moc"
