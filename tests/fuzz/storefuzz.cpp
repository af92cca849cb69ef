// Random bytes as the settings file: the program restores whatever list it can read, its next
// save reads back as the list it showed, and a file it could not read in full is kept byte for
// byte before it is written over.
#include "settings/usersettingsstore.h"
#include "tests/fuzz/listinvariants.h"
#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<SettingsHome> home;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "store fuzzer: %s\n", what);
        std::abort();
    }
}

QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    require(file.open(QIODevice::ReadOnly), "a kept copy can be read");
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    // Qt warns of every malformed value it meets, and malformed values are all this reads.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    home = std::make_unique<SettingsHome>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const QByteArray original(reinterpret_cast<const char*>(bytes), qsizetype(size));
    QDir folder(home->path(QStringLiteral("hix")));
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
    QFile file(folder.filePath(QStringLiteral("fuzz.conf")));
    require(file.open(QIODevice::WriteOnly) && file.write(original) == original.size(), "write");
    file.close();

    std::vector<std::string> shown;
    {
        UserSettingsStore store(home->settingsPath(QStringLiteral("fuzz")));
        WindowlessCopy copy(store);
        copy.hix.RestoreList(copy.form);
        checkListInvariants(copy, store, Duplicates::Kept);
        copy.open("/fuzzed/opened file.txt");
        checkListInvariants(copy, store, Duplicates::Kept);
        shown = copy.tags();
    }

    const QStringList kept
        = folder.entryList({QStringLiteral("fuzz.conf.unreadable-*")}, QDir::Files);
    require(kept.size() <= 1, "at most one copy is kept");
    if (!kept.isEmpty())
        require(contents(folder.filePath(kept.front())) == original, "the copy is byte for byte");

    UserSettingsStore store(home->settingsPath(QStringLiteral("fuzz")));
    WindowlessCopy copy(store);
    copy.hix.RestoreList(copy.form);
    require(copy.tags() == shown, "the saved list reads back as it was shown");
    require(noticesOf(store).empty(), "the saved file reads in full");
    return 0;
}
