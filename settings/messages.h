#pragma once

#include <string>
#include <vector>

// Why the settings could not be read or saved now, worded for the user: what happened, where, and
// what to do. Every cause the disk, the file, the way or the other copies give becomes one of
// these, in one place (docs/design.md, the turn).
struct Failure {
    std::string text;
    // The change is refused rather than kept: another copy or program is changing the file.
    bool refuses = false;
    // The file could not be read: nothing is written over it while it cannot.
    bool unreadable = false;
};

// The failure the exception being handled stands for, for the settings file at file.
Failure failureNow(const std::string& file);

// That a file with lines that could not be read was kept aside before it is written over.
std::string keptAsideText(
    const std::string& file, const std::vector<int>& misreadLines, const std::string& keptAs);
