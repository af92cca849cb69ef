#include "form1.h"
#include "settingswatcher.h"
#include "usersettingsstore.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(UserSettingsStore::executableBaseName());

    UserSettingsStore store(QApplication::applicationName());
    Form1 form(store);
    form.show();
    // Other running copies and text editors change the list too; the window shows their changes.
    const SettingsWatcher watcher(store.fileName());
    QObject::connect(&watcher, &SettingsWatcher::changed, &form, &Form1::refreshList);
    return QApplication::exec();
}
