// One copy of the recent-files list that acts until it is killed:
//   crashstress_driver SETTINGS_FILE SEED JOURNAL
// runs the actions of SEED against the settings in SETTINGS_FILE, appending one byte to JOURNAL
// after each saved step (the start-up included).
#include "settings/usersettingsstore.h"
#include "tests/settings/stressactions.h"

#include <QCoreApplication>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 4)
        return 2;
    const int journal = ::open(argv[3], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (journal < 0)
        return 2;
    const auto done = [journal] { return ::write(journal, "+", 1) == 1; };

    UserSettingsStore store(argv[1]);
    StressActions actions(static_cast<std::uint32_t>(std::stoul(argv[2])), store);
    actions.start();
    while (done())
        actions.next();
    return 1;
}
