#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The store keeps files of its own beside the settings file, named after it with at most this many
// bytes more: "<file>.unreadable-<date>-<time>-<n>", "<file>.saving-<process>", "<file>.lock".
inline constexpr std::size_t longestNameAddedBeside = 40;

// Where the program under a name keeps its settings: <configuration home>/hix/<name>.conf. The
// configuration home follows the XDG base directory rules: configHome where it is an absolute
// path, else the home's .config; the home is home where it is absolute, else the user's entry in
// the password database. A name too long for a file name, with the names the program makes beside
// the file, keeps its start and a hash of the whole, so that every name has a file of its own.
std::string settingsFilePath(
    const std::string& programName, const char* configHome, const char* home);
// The same, from $XDG_CONFIG_HOME and $HOME.
std::string settingsFilePath(const std::string& programName);

// The name the program goes by: its executable's file name without folder and extension, as
// bytes, which need not be UTF-8.
std::string programName();
std::string programName(std::string_view executablePath);
