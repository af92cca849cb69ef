// The window over the real settings store, saving through a fault and after it:
//   savefault_driver SETTINGS_FILE CLEAR_COMMAND
// opens /new while the fault is in place, runs CLEAR_COMMAND, and opens /newer; after each open it
// prints the error boxes shown ("error: ...") and the menu ("menu: ...").
#include "settings/usersettingsstore.h"
#include "tests/support/testwindow.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    UserSettingsStore store(argv[1]);
    TestWindow window(store);
    window.form.show();

    std::size_t reported = 0;
    const auto openAndReport = [&](const char* path) {
        window.open(path);
        for (; reported < window.messages.errors.size(); ++reported)
            std::printf("error: %s\n", window.messages.errors[reported].c_str());
        std::printf("menu:");
        for (const std::string& tag : window.tags())
            std::printf(" %s", tag.c_str());
        std::printf("\n");
        std::fflush(stdout);
    };
    openAndReport("/new");
    if (std::system(argv[2]) != 0)
        return 3;
    openAndReport("/newer");
    return 0;
}
