#pragma once

#include <QIcon>

class QWidget;

// The program's icon: the one the desktop's theme has under the program's id, else its own.
QIcon programIcon();
// Gives the program's windows its icon once window has drawn its first frame: looking it up in
// the icon theme and drawing it takes longer than the rest of a start.
void showProgramIconOnceDrawn(QWidget& window);
// Puts Qt's own words (on the file dialog's buttons, say) in the user's language, where Qt's
// translations are installed.
void translateQtsOwnWords();
