#pragma once

#include <string>

class NotSaved;
struct Untrusted;

// What the settings layer tells the user, worded here alone: what happened, where, and what to do.

// Why the list is kept for this session only, where the way to it or the file may not be trusted.
std::string untrustedText(const Untrusted& untrusted);
// Why a save could not be made, for a cause the folder or the disk gave, and what to do.
std::string notSavedText(const NotSaved& failure, const std::string& file);
// The disk that holds the file stopped answering.
std::string notAnsweringText(const std::string& file);
