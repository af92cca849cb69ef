#pragma once

#include <QIcon>

// The program's icon: the one the desktop's theme has under the program's id, else its own.
QIcon programIcon();
// Puts Qt's own words (on the file dialog's buttons, say) in the user's language, where Qt's
// translations are installed.
void translateQtsOwnWords();
