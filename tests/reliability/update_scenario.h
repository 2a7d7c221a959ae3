#pragma once
// Whole update runs for the reliability tests: a representative update over an installation
// with older files in place, and the checks that every run has to pass however it ended.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/installation.h"
#include "support/recording_platform.h"
#include "support/zip_writer.h"

namespace orv::testing {

// One file that the update writes: where it lands (relative to drive C:) and what it holds
// before and after.
struct TargetFile {
    std::string path;
    std::optional<std::string> old; // none: the update brings it new
    std::string fresh;
};

// An update archive with the files it puts in place.
struct UpdateShape {
    std::string name;
    std::vector<ZipEntry> entries;
    std::vector<TargetFile> targets;
};

// The version file, the four databases, an .OCX and a .DLL under a folder, several files of
// the application, some of them over older ones.
UpdateShape RepresentativeUpdate();
// The same with many more application files in folders, and larger ones.
UpdateShape LargerUpdate();
// The version file and one application file only.
UpdateShape SmallUpdate();
// The version file, the databases, a control and a library: the rows that remove their entries
// take every one, and the last removal leaves the archive without any entry.
UpdateShape EmptyingUpdate();
// The version file, one application file and a new updater (UPDATE/orvupd) over the running one.
UpdateShape SelfReplacingUpdate();

// The name of a test case that runs a shape.
std::string ShapeName(const ::testing::TestParamInfo<UpdateShape (*)()>& info);

// Sets the recording front end up as the installation's (own directory, Windows directory,
// command line), for a second front end over the same sandbox.
void ConfigureLikeInstallation(RecordingPlatform& os);

// An installation with the older files of the shape in place and its archive delivered.
class ScenarioRun {
  public:
    explicit ScenarioRun(const UpdateShape& shape);

    Installation inst;
    const UpdateShape& shape;
    std::string delivered;                     // the archive as delivered
    std::map<std::string, std::string> before; // every file before the run

    // Every file now in the sandbox.
    std::map<std::string, std::string> files() const;

    // Problems with the files after a run that may have been cut short: each target wholly old
    // or wholly new (never lost), every other file as before, the archive (or, when its
    // restore failed, the backup) as delivered, nothing else left behind.
    std::vector<std::string> damage() const;
    // Problems with the files after a run that must have installed the whole update: every
    // target new, the archive as delivered, no backup and nothing else left behind.
    std::vector<std::string> incompleteness() const;
};

// The files of a sandbox folder below the drive root, relative and sorted, with contents.
std::map<std::string, std::string> FilesBelow(const std::string& root);

// "a, b, c"
std::string Joined(const std::vector<std::string>& problems);

} // namespace orv::testing
