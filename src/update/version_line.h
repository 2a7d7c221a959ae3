#pragma once
// The version line: "dd.mm.yyyy" in characters 1-10, the version label from character 11 on.
// The application passes the installed one on the command line; the archive carries the
// update's in the first line of orvupd.txt.

#include <string>

namespace orv {

struct VersionLine {
    std::string key;   // yyyymmdd, compared as a string
    std::string label; // from character 11 on, unchanged (its leading blank included)
    std::string date;  // the first ten characters
};

VersionLine ParseVersionLine(const std::string& line);

} // namespace orv
