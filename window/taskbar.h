#pragma once

class QWidget;

// Asks the window manager to leave the window out of the task bar. Only X11 has a way for a
// program to ask; elsewhere this does nothing. Call it before the window is first shown.
void keepOutOfTaskBar(QWidget* window);
