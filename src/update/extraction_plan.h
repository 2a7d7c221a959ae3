#pragma once
// Where each kind of archive entry goes: the databases into the folders the INI file names,
// controls and libraries, then everything else into the installation. The updater and the
// archive check share it, so that the two never disagree.

#include <cstddef>
#include <string>
#include <vector>

namespace orv {

struct PlanRow {
    std::string mask;
    std::string target; // empty: the root of the drive that holds the archive
    // The row's entries leave the archive after the row, so that no later row takes them.
    bool removeAfterwards = false;
};

struct InstallationDirs {
    std::string installDir;
    std::string dbDir1;
    std::string dbDir2;
    std::string dbDir3;
};

// The plan's folders for an installation, from the INI file's Pfad1 to Pfad3 (used as they
// stand) and the updater's defaults where a value is empty: the application's folder for the
// first two, KEYTABS in the installation for the third.
InstallationDirs DirsOf(const std::string& installDir, const std::string& pfad1,
                        const std::string& pfad2, const std::string& pfad3);

// The rows in the order the updater makes them.
std::vector<PlanRow> ExtractionPlan(const InstallationDirs& dirs);

struct PlacedEntry {
    std::string entry; // the stored path
    std::string path;  // where it is written
    bool folder = false;
    std::size_t index = 0; // its place among the archive's entries
};

struct RowPlacement {
    PlanRow row;
    std::vector<PlacedEntry> entries;
};

// What each row takes out of an archive with these entries and where it writes them, with the
// rows made one after the other: a row takes what its mask matches among the entries that the
// rows before it left in the archive.
std::vector<RowPlacement> PlaceEntries(const std::vector<PlanRow>& plan,
                                       const std::vector<std::string>& entryNames,
                                       const std::string& archivePath);

} // namespace orv
