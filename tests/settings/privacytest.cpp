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

const QByteArray before = "[Config]\nMAX_FILES=5\nnoHIX=1\n\n[Recent%20Files]\n1=/before\n";

// A file of bytes that only the user may read or write, in folders made for it.
QString writtenPrivately(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(bytes) != bytes.size()
        || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        qFatal("cannot write %s", qPrintable(path));
    return path;
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
    void aclAndModeAreKeptOnSave();
    void savesWorkWithoutPermissionsOrHardLinks();
    void longestFileNameKeepsItsFilesBeside();
    void namesThatAreNoUtf8KeepListsApart();
    void everyStepIsJudgedOnWhatWasOpened_data();
    void everyStepIsJudgedOnWhatWasOpened();
    void aWaySwappedWhileSavingRedirectsNothing();

private:
    QString savedTwice(const QString& file);

    SettingsHome home;
};

// Two changes of the list at file; what the store said.
QString PrivacyTest::savedTwice(const QString& file)
{
    UserSettingsStore store(QFile::encodeName(file).toStdString());
    QString said = QString::fromStdString(noticesOf(store));
    for (const char* path : {"/one", "/two"})
        changeStore(store, [&] { store.SaveSetting("Recent Files", "1", path); });
    said += QString::fromStdString(noticesOf(store));
    if (UserSettingsStore(store.path()).GetSetting("Recent Files", "1", "") != "/two")
        said += QStringLiteral("; not saved");
    return said;
}

// A save keeps the file's mode and access ACL: a backup account that may read it still may.
void PrivacyTest::aclAndModeAreKeptOnSave()
{
    const QString file = writtenPrivately(home.path(QStringLiteral("acl/hix/x.conf")), before);
    if (!setAcl(file, "system.posix_acl_access", aclReadableByNobody()))
        QSKIP("this file system has no ACLs");

    QCOMPARE(savedTwice(file), QString());
    QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QCOMPARE(aclOf(file), aclReadableByNobody());
}

// On a file system without permissions or hard links (FAT through FUSE), saving works all the
// same, and a file that could not be read in full is kept aside as a copy.
void PrivacyTest::savesWorkWithoutPermissionsOrHardLinks()
{
    const QString file
        = writtenPrivately(home.path(QStringLiteral("fat/hix/x.conf")), before + "junk\n");
    permissionsMissing = true;
    const QString said = savedTwice(file);
    permissionsMissing = false;
    QVERIFY2(said.contains(QStringLiteral("It was kept as"))
            && !said.contains(QStringLiteral("not saved")),
        qPrintable(said));
}

// The longest file name a program's name gives still leaves room for the files made beside it.
void PrivacyTest::longestFileNameKeepsItsFilesBeside()
{
    const QString file = writtenPrivately(
        home.path(QStringLiteral("long/hix/") + QString(210, u'n') + ".conf"), before + "junk\n");
    const QString said = savedTwice(file);
    QVERIFY2(said.contains(QStringLiteral("It was kept as"))
            && !said.contains(QStringLiteral("not saved")),
        qPrintable(said));
    QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser),
        QFile::ReadOwner | QFile::WriteOwner);
}

// Two programs whose names differ in bytes that are no UTF-8 keep two lists.
void PrivacyTest::namesThatAreNoUtf8KeepListsApart()
{
    const QByteArray folder = QFile::encodeName(made(home.path(QStringLiteral("bytes/hix")), 0700));
    UserSettingsStore first((folder + "/hix\xE9.conf").toStdString());
    UserSettingsStore second((folder + "/hix\xFF.conf").toStdString());
    changeStore(first, [&] { first.SaveSetting("Recent Files", "1", "/first"); });
    changeStore(second, [&] { second.SaveSetting("Recent Files", "1", "/second"); });
    QCOMPARE(UserSettingsStore(first.path()).GetSetting("Recent Files", "1", ""), "/first");
    QCOMPARE(UserSettingsStore(second.path()).GetSetting("Recent Files", "1", ""), "/second");
    // Qt's folders cannot name these files to remove them.
    for (const UserSettingsStore* store : {&first, &second}) {
        ::unlink(store->path().c_str());
        ::unlink((store->path() + ".lock").c_str());
    }
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
    // What the message says, {folder} standing for the row's folder; nothing where the list is
    // saved.
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
        << "{folder}/team/x.conf is a link made by another user (4242). Remove it, and the list is "
           "saved then."
        << 0;
    QTest::newRow("folder above the configuration home that others may change")
        << Arrange([](const QString& folder) {
               return made(folder + "/shared", 0777) + "/config/hix/x.conf";
           })
        << false << false << systemAccounts
        << "{folder}/shared can be changed by other users. Take that away (chmod go-w " << 0;
    QTest::newRow("folder above the configuration home of another user")
        << Arrange([](const QString& folder) {
               return made(folder + "/bob", 0755, bob) + "/config/hix/x.conf";
           })
        << true << false << systemAccounts << "{folder}/bob is owned by another user (4242)" << 0;
    QTest::newRow("run as root in another user's home without a configuration folder")
        << Arrange([](const QString& folder) {
               return made(folder + "/home", 0755, bob) + "/.config/hix/x.conf";
           })
        << true << false << systemAccounts
        << "{folder}/home is owned by another user (4242), and the program runs as root, whose "
           "files "
           "there that user could not change. Run it as 4242 to keep the list."
        << 0;
    QTest::newRow("the user's group, another account's primary group")
        << Arrange(
               [](const QString& folder) { return made(folder + "/config/hix", 0770) + "/x.conf"; })
        << false << false
        << std::optional<QByteArray>(
               "carol:x:4243:" + QByteArray::number(::getgid()) + "::/nonexistent:/bin/sh\n")
        << "{folder}/config/hix can be changed by other users: its group, alice, may write in it"
        << 0;
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
    QTest::newRow("file of another user") << Arrange([](const QString& folder) {
        const QString file = writtenPrivately(folder + "/config/hix/x.conf", before);
        chownTo(file, 65534, nogroup());
        return file;
    }) << true << false << systemAccounts << "{folder}/config/hix/x.conf is owned by another user"
                                          << 0;
    QTest::newRow("folder of another user") << Arrange([](const QString& folder) {
        const QString file = writtenPrivately(folder + "/config/hix/x.conf", before);
        chownTo(folder + "/config/hix", 65534, nogroup());
        return file;
    }) << true << false << systemAccounts << "{folder}/config/hix is owned by another user"
                                            << 0;
    QTest::newRow("folder a group shared with others may write")
        << Arrange([](const QString& folder) {
               const QString file = writtenPrivately(folder + "/config/hix/x.conf", before);
               made(folder + "/config/hix", 0770, uid_t(-1), nogroup());
               return file;
           })
        << true << false << systemAccounts << "{folder}/config/hix can be changed by other users"
        << 0;
    QTest::newRow("file anyone may write")
        << Arrange([](const QString& folder) {
               const QString file = writtenPrivately(folder + "/config/hix/x.conf", before);
               ::chmod(QFile::encodeName(file).constData(), 0666);
               return file;
           })
        << false << false << systemAccounts
        << "{folder}/config/hix/x.conf can be changed by other users" << 0;
    QTest::newRow("link another user planted to a private file")
        << Arrange([](const QString& folder) {
               const QString secret
                   = writtenPrivately(folder + "/private/letters.txt", "dear diary");
               made(folder + "/config/hix", 0700);
               return linked(folder + "/config/hix/x.conf", secret, 65534);
           })
        << true << false << systemAccounts
        << "{folder}/config/hix/x.conf is a link made by another user" << 0;
    QTest::newRow("configuration home too long for a path") << Arrange([](const QString& folder) {
        return folder + (u'/' + QString(100, u'n')).repeated(41) + QStringLiteral("/hix/x.conf");
    }) << false << false << systemAccounts << "is longer than the system allows"
                                                            << 0;
    QTest::newRow("settings folder root owns, for its user")
        << Arrange([](const QString& folder) {
               made(folder + "/config", 0700, 65534, 65534);
               return made(folder + "/config/hix", 0755) + "/x.conf";
           })
        << true << true << systemAccounts
        << "{folder}/config/hix is owned by another user (root). Have it given to your account "
           "(sudo "
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
    const QStringList untouched = everything(folder);

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

    // Saved or not, the change stands for the session.
    QVERIFY2(notices.endsWith(QStringLiteral("shown: /one")), qPrintable(notices));
    if (!said.isEmpty()) {
        QVERIFY2(notices.contains(QString(said).replace(QLatin1String("{folder}"), folder)),
            qPrintable(notices));
        QCOMPARE(everything(folder), untouched);
        return;
    }
    QVERIFY2(notices == QStringLiteral("shown: /one"), qPrintable(notices));
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
