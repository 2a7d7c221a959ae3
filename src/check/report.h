#pragma once
// The archive check as a program: orvupd-check ARCHIVE [INI], its German report and its exit
// status.

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "check/archive_check.h"
#include "platform/file_system.h"

namespace orv::check {

// Exit statuses: the archive can be shipped; the updater would refuse or misplace something;
// the archive (or the INI file given) cannot be read at all.
inline constexpr int kArchiveGood = 0;
inline constexpr int kArchiveFaulty = 1;
inline constexpr int kArchiveUnreadable = 2;

// GetPrivateProfileString as the front end offers it: the value of key in section of the INI
// file, cut to bufferSize - 1 characters, or the empty text when it is missing.
using IniReader = std::function<std::string(const std::string& file, const std::string& section,
                                            const std::string& key, std::size_t bufferSize)>;

// Where the database folders came from, for the report's head.
struct CheckSubject {
    std::string archivePath;
    std::string iniPath; // empty: the updater's defaults for C:\ORVEN32
};

// The report: the version line and its meaning, the plan with every entry and the path it is
// written to, the findings, and the verdict.
std::string FormatReport(const CheckSubject& subject, const CheckResult& result);

int ExitStatus(const CheckResult& result);

// The whole program on its arguments (without the program name): writes the report or the
// reason that there is none, and returns the exit status.
int RunCheck(FileSystem& files, const std::vector<std::string>& arguments, const IniReader& readIni,
             std::ostream& out);

} // namespace orv::check
