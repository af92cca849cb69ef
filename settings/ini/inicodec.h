#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The INI text that QSettings reads and writes, without Qt and without files. Files written by
// either side read back the same on the other.
namespace ini {

// Full keys as QSettings names them ("Section/key", or "key" outside any section) with their
// values, both in UTF-8. Keys hold no empty part: no leading, trailing or doubled "/".
using Values = std::map<std::string, std::string>;

struct Parsed {
    // What QSettings reads from the text, where it reads a string; a list reads as its items
    // joined by ", ", any other value as it is written.
    Values values;
    // The lines, counted from 1, that would not come back as they are written if the values
    // were saved: text QSettings skips or misreads, values it reads as anything but the string
    // written, keys it cannot look up, bytes that are not UTF-8 text. Comments and blank lines
    // are not values and are not counted.
    std::vector<int> misreadLines;

    bool faithful() const { return misreadLines.empty(); }
};

Parsed parse(std::string_view text);

// Exactly the bytes QSettings writes for the same values, but for a byte-order mark at the start
// of a value's text: QSettings would write it as it is and drop it when it reads the value.
std::string serialise(const Values& values);

} // namespace ini
