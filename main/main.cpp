#include "settings/settingslocation.h"
#include "settings/settingswatcher.h"
#include "settings/usersettingsstore.h"
#include "window/commandline.h"
#include "window/desktopintegration.h"
#include "window/form1.h"
#include "window/terminationsignals.h"

#include <QApplication>
#include <QFile>
#include <QSettings>

int main(int argc, char* argv[])
{
    QApplication::setApplicationVersion(QStringLiteral(HIX_VERSION));
    if (const std::optional<int> exitCode = answerCommandLine(argc, argv))
        return *exitCode;

    // The window's Wayland app id is the desktop entry's name, so a desktop finds the program's
    // icon for its window; on X11 the entry names the window's class instead.
    QApplication::setDesktopFileName(QStringLiteral(HIX_APP_ID));
    QApplication application(argc, argv);
    const std::string name = programName();
    QApplication::setApplicationName(QFile::decodeName(QByteArray::fromStdString(name)));
    translateQtsOwnWords();
    // Qt's file dialog keeps the folders the user browsed in a file of Qt's when it closes; no
    // file can be made under /dev/null, so it keeps them for the session alone.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    const TerminationSignals terminationSignals;

    // A wait for a disk that does not answer ends as soon as the program is asked to end.
    UserSettingsStore store(settingsFilePath(name), terminationSignals.descriptor());
    Form1 form(store);
    form.show();
    showProgramIconOnceDrawn(form);
    // Other running copies and text editors change the list too; the window shows their changes.
    const SettingsWatcher watcher(store.path(), store.worker());
    QObject::connect(&watcher, &SettingsWatcher::changed, &form, &Form1::refreshList);
    const int exitCode = TerminationSignals::ending() ? EXIT_SUCCESS : QApplication::exec();
    // A termination signal ends the program as File, Exit would: the window closes, and makes its
    // last try to save what is kept.
    form.close();
    return exitCode;
}
