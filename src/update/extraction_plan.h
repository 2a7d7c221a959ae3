#pragma once
// Where each kind of archive entry goes: the version file first, then the databases into the
// folders the INI file names, controls and libraries, then everything else into the
// installation. Each stage says what it counts and what leaves the archive after it, and one
// engine makes the stages against a set of archive routines: the updater runs it on the
// archive, the archive check on a simulation of it, so that the two never disagree.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// What a stage adds to the run's count of copied files.
enum class Counted {
    Never,     // nothing (the version file of a run started by hand)
    AboveZero, // a count above 0
    Always,    // whatever the extraction reports, 0 or less too
};

// When a stage's entries leave the archive after it, so that no later stage takes them.
enum class Leaves {
    Never,     // they stay
    WhenTaken, // after a count above 0; a failed extraction leaves them in the archive
    // After a count above 0 and after a failure too: the last row must not put a database into
    // the installation folder because its own row could not place it. A row that took nothing
    // and did not fail removes nothing.
    WhenTakenOrFailed,
};

struct PlanRow {
    std::string mask;
    std::string target; // empty: the root of the drive that holds the archive
    Counted counted = Counted::Always;
    Leaves leaves = Leaves::Never;
};

// True for a row after which entries may leave the archive.
bool LeavesArchive(const PlanRow& row);

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

// The version file's stage, made before the plan: into the application's folder, counted only
// in a run that the application started, and out of the archive once it is extracted.
PlanRow VersionStage(const std::string& installDir, bool startedByApplication);

// Where the updater reads the version file that its stage extracted.
std::string VersionFilePath(const std::string& installDir);

// The rows in the order the updater makes them.
std::vector<PlanRow> ExtractionPlan(const InstallationDirs& dirs);

// What the archive routines report of one extraction.
struct Extraction {
    std::int32_t count = 0;
    bool failed = false; // the routine reported an error (and so counts 0)
};

// What a stage does with the archive: the updater's routines on the archive itself, or the
// archive check's simulation of them.
class ArchiveRoutines {
  public:
    virtual ~ArchiveRoutines() = default;
    // Writes the entries that the row's mask matches into its target.
    virtual Extraction extract(const PlanRow& row) = 0;
    // Removes the entries that the mask matches from the archive; false after a failure.
    virtual bool remove(const std::string& mask) = 0;
};

struct StageOutcome {
    Extraction extraction;
    bool removalMade = false;   // the stage's entries were to leave the archive
    bool removalFailed = false; // and the removal failed
};

// Receives the counts that stages add to the run's total.
using CountSink = std::function<void(std::int32_t)>;

// Makes one stage: the extraction, its count handed to addCount where the stage counts it, then
// the removal where the stage's rule asks for it.
StageOutcome RunStage(const PlanRow& stage, ArchiveRoutines& routines,
                      const CountSink& addCount = {});

// Makes the rows one after the other.
std::vector<StageOutcome> RunPlan(const std::vector<PlanRow>& plan, ArchiveRoutines& routines,
                                  const CountSink& addCount = {});

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
