#pragma once

class QWidget;

// Gives the program's windows its icon once window has drawn its first frame, which it need not
// wait for. Desktops that show icons by the desktop entry (Wayland's all do) find the icon of the
// theme there.
void showProgramIconOnceDrawn(QWidget& window);
// Puts Qt's own words (on the file dialog's buttons, say) in the user's language, where Qt's
// translations are installed.
void translateQtsOwnWords();
