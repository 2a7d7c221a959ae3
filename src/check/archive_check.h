#pragma once
// The archive check: what the updater would do with an update archive, worked out before the
// archive is shipped, with the updater's own plan and the zip component's own checks.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "update/extraction_plan.h"
#include "update/version_line.h"

namespace orv::check {

// The installation the check assumes: the application's usual place.
inline constexpr const char* kDefaultInstallDir = "C:\\ORVEN32";

// The values of Pfad1, Pfad2 and Pfad3 in section ORVEN of the INI file, as read (empty when
// missing).
struct IniFolders {
    std::string pfad1;
    std::string pfad2;
    std::string pfad3;
};

// What the updater would do wrong, or what an author should know.
enum class FindingKind {
    Refused,   // an extraction fails on the entry: nothing of its row is written
    Misplaced, // written, but not where it belongs
    Missing,   // the version file is missing or not read
    Malformed, // the version line does not read as a date and a version
    TooLong,   // a path that Windows or programs without long-path support cannot use
    Note,      // worth knowing, harmless
};

struct Finding {
    FindingKind kind;
    std::string entry; // the stored path as the updater shows it; empty for the archive
    std::string text;
};

// True for every finding but a note: the archive should not be shipped as it is.
bool IsProblem(const Finding& finding);

struct VersionCheck {
    std::optional<std::string> line; // the version file's first line, when the updater reads one
    VersionLine meaning;
    std::vector<std::string> flaws; // what keeps the line from being well formed
};

// One extraction of the run: the version file's, or a row of the plan.
struct Stage {
    std::string number; // "V" for the version file, "1".."7" for the rows of the plan
    PlanRow row;
    std::vector<PlacedEntry> entries; // what it takes out of the archive, and where it writes it
    int count = 0;                    // the files the updater counts for it
    bool fails = false;               // an entry refused: nothing of it is written
    std::vector<std::string> removed; // the entries that leave the archive after it
};

struct CheckResult {
    InstallationDirs dirs;
    VersionCheck version;
    std::vector<Stage> stages;
    std::vector<Finding> findings;
};

// Runs the updater's extractions in its order on the archive's entries, as the updater would
// with the archive at InstallDir\update\orvupd.zip. Raises RuntimeError, the error extracting
// would raise, when the archive cannot be read at all.
CheckResult CheckArchive(FileSystem& files, const std::string& archivePath,
                         const InstallationDirs& dirs);

} // namespace orv::check
