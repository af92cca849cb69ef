#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cerrno>
#include <dlfcn.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

// An access ACL as the kernel keeps it: user::rw-, user:nobody:r--, group::---, mask::r--,
// other::---.
QByteArray aclReadableByNobody()
{
    QByteArray acl;
    const auto append = [&acl](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl.append(char(value >> (8 * i)));
    };
    append(2, 4);
    for (const auto& [tag, permissions, id] :
        {std::tuple{1, 6, ~0u}, {2, 4, 65534u}, {4, 0, ~0u}, {16, 4, ~0u}, {32, 0, ~0u}}) {
        append(std::uint32_t(tag), 2);
        append(std::uint32_t(permissions), 2);
        append(id, 4);
    }
    return acl;
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

// The list is kept only where it is the user's: anything on the way that another user owns or
// may change keeps it in memory for the session, untouched; what is the user's is saved with its
// permissions kept, whatever the names and the file system.
class PrivacyTest : public QObject {
    Q_OBJECT

private slots:
    void theListIsKeptOnlyWhereItIsTheUsers_data();
    void theListIsKeptOnlyWhereItIsTheUsers();

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
        first.SaveSetting("Recent Files", "1", "/first");
        first.flush();
        second.SaveSetting("Recent Files", "1", "/second");
        second.flush();
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

QTEST_GUILESS_MAIN(PrivacyTest)
#include "privacytest.moc"
