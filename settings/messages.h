#pragma once

#include <string>
#include <vector>

struct Failure;

// What the settings layer tells the user, worded here alone: what happened, where, and what to do.

// The failure with the settings file at file, met while reading it to show the list, or while
// changing it.
std::string toldOf(const Failure& failure, const std::string& file, bool reading);
// That a file with lines that could not be read was kept aside before it is written over.
std::string keptAsideText(
    const std::string& file, const std::vector<int>& misreadLines, const std::string& keptAs);
