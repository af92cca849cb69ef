#pragma once

#include <QString>
#include <string>

// Where the program under a name keeps its settings: <configuration home>/hix/<name>.conf. The
// configuration home follows the XDG base directory rules: configHome where it is an absolute
// path, else the home's .config; the home is home where it is absolute, else the user's entry in
// the password database.
std::string settingsFilePath(
    const std::string& applicationName, const char* configHome, const char* home);
// The same, from $XDG_CONFIG_HOME and $HOME.
std::string settingsFilePath(const std::string& applicationName);

// The running executable's file name without folder and extension, the name the program goes by.
QString executableBaseName();
