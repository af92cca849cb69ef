#pragma once

#include <optional>
#include <string>

// Whether the list may be kept in a settings file, as OpenSSH asks of ~/.ssh (StrictModes) and
// the kernel of links in shared folders (protected_symlinks): the file, its folder and the
// configuration home above that must be the user's or root's and changeable by no one else, and
// a link among them must be the user's, as must what it leads to and the folder that holds that.
// Returns why not, naming the path; nothing where they may be trusted, or are not there yet (what
// the program makes is the user's alone).
std::optional<std::string> whyNotTrusted(const std::string& file);
