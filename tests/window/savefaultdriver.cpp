// The window over the real settings store, saving through a fault and after it:
//   savefault_driver CLEAR_COMMAND
// opens /new while the fault is in place, runs CLEAR_COMMAND, and opens /newer; after each open it
// prints the error boxes shown ("error: ...") and the menu ("menu: ...").
#include "fakes.h"
#include "form1.h"
#include "usersettingsstore.h"

#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 2)
        return 2;
    UserSettingsStore store(QStringLiteral("faulty"));
    FakeMessageBox messages;
    ScriptedFileDialog dialog;
    dialog.answers = {"/new", "/newer"};
    Form1 form(store, &messages, &dialog);
    form.show();

    std::size_t reported = 0;
    const auto openAndReport = [&] {
        form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        for (; reported < messages.errors.size(); ++reported)
            std::printf("error: %s\n", messages.errors[reported].c_str());
        std::printf("menu:");
        for (std::int16_t index = 1; index <= form.mnuHIX().count(); ++index)
            std::printf(" %s", form.mnuHIX().tag(index).c_str());
        std::printf("\n");
        std::fflush(stdout);
    };
    openAndReport();
    if (std::system(argv[1]) != 0)
        return 3;
    openAndReport();
    return 0;
}
