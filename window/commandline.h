#pragma once

#include <optional>

// Answers the options that need no window (help, version, mistakes) before the program touches a
// display or its settings, and says so where there is no display to show a window on. Returns the
// exit code when the program should end there.
std::optional<int> answerCommandLine(int argc, char* argv[]);
