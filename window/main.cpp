#include "form1.h"
#include "usersettingsstore.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(UserSettingsStore::executableBaseName());

    UserSettingsStore store(QApplication::applicationName());
    Form1 form(store);
    form.show();
    return QApplication::exec();
}
