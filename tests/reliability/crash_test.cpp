// The updater killed at any point of a run: the next run must install the whole update, from
// the archive as delivered, and leave nothing of the killed run behind.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "reliability/sampling.h"
#include "reliability/update_scenario.h"
#include "support/power_cut.h"
#include "update/main.h"
#include "update/run_record.h"

namespace orv {
namespace {

using testing::Installation;
using testing::RecordingPlatform;
using testing::ScenarioRun;
using testing::UpdateShape;

// Runs the updater in a child process over the sandbox and kills it before the k-th file
// operation. False when the run ended before it got that far.
bool KilledAt(const std::string& root, std::size_t k) {
    const pid_t child = ::fork();
    if (child == 0) {
        RecordingPlatform os{root};
        testing::ConfigureLikeInstallation(os);
        os.faulty.atOperation(k, [] { ::kill(::getpid(), SIGKILL); });
        Main(os);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// The next run after a kill, in this process, answering Yes.
std::vector<std::string> RunAgain(ScenarioRun& scenario) {
    RecordingPlatform os{scenario.inst.box.root()};
    testing::ConfigureLikeInstallation(os);
    Main(os);
    std::vector<std::string> problems = scenario.incompleteness();
    const bool reported = !os.boxes.empty() && os.boxes.back().title == "ORV-Update installieren";
    if (!reported) {
        std::string shown;
        for (const testing::Box& box : os.boxes)
            shown += " [" + box.title + ": " + box.text + "]";
        problems.push_back("no report of a good installation; shown:" + shown);
    }
    return problems;
}

std::size_t OperationsOfWholeRun(const UpdateShape& shape) {
    ScenarioRun scenario{shape};
    scenario.inst.run();
    return scenario.inst.os.faulty.total();
}

class CrashConsistency : public ::testing::TestWithParam<UpdateShape (*)()> {};

TEST_P(CrashConsistency, TheNextRunInstallsTheWholeUpdate) {
    const UpdateShape shape = GetParam()();
    const std::size_t operations = OperationsOfWholeRun(shape);
    std::size_t crashes = 0;
    std::size_t withLeftovers = 0;
    for (std::size_t k = 1; k <= operations; ++k) {
        if (!testing::Sampled(k, operations)) continue;
        ScenarioRun scenario{shape};
        ASSERT_TRUE(KilledAt(scenario.inst.box.root(), k)) << "operation " << k;
        ++crashes;
        std::vector<std::string> problems = RunAgain(scenario);
        const auto temporary = [](const std::string& problem) {
            return problem.find(".orvupd-") != std::string::npos;
        };
        const auto firstTemporary = std::stable_partition(
            problems.begin(), problems.end(), [&](const auto& p) { return !temporary(p); });
        if (firstTemporary != problems.end()) ++withLeftovers;
        problems.erase(firstTemporary, problems.end());
        EXPECT_EQ(testing::Joined(problems), "")
            << "killed before operation " << k << " of " << operations;
    }
    std::cout << shape.name << ": " << crashes << " crash points\n";
    // The temporary files of the zip component carry no data of their own, but nothing
    // removes them once the run that made them is killed.
    EXPECT_EQ(withLeftovers, 0u) << "crash points after which the next run leaves temporary files";
}

INSTANTIATE_TEST_SUITE_P(Shapes, CrashConsistency,
                         ::testing::Values(&testing::RepresentativeUpdate, &testing::LargerUpdate,
                                           &testing::SmallUpdate, &testing::EmptyingUpdate),
                         testing::ShapeName);

// The power cut at every change of a whole run: whatever the disk kept of the changes (see
// DiskModel), the delivered archive is there, whole, as the archive or its backup, and the next
// run installs the whole update from it and leaves nothing of the interrupted run behind.
class PowerCutConsistency : public ::testing::TestWithParam<UpdateShape (*)()> {};

// The model, not the disk, decides what a power cut keeps: the sandboxes of these runs lie in
// memory where there is some, and their syncs cost nothing.
class SandboxesInMemory {
  public:
    SandboxesInMemory() {
        if (const char* tmp = std::getenv("TMPDIR")) before_ = tmp;
        if (std::filesystem::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 1);
    }
    ~SandboxesInMemory() {
        if (before_) {
            ::setenv("TMPDIR", before_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    SandboxesInMemory(const SandboxesInMemory&) = delete;
    SandboxesInMemory& operator=(const SandboxesInMemory&) = delete;

  private:
    std::optional<std::string> before_;
};

// Whether the states of a power cut after the first k changes are tried: after every few
// changes and after the last. All of them, a few hundred runs a shape, would take minutes.
bool PowerCutTried(const std::vector<testing::Change>& changes, std::size_t k) {
    const std::size_t stride = testing::kSanitized ? 20 : 6;
    return k == changes.size() || k % stride == 1;
}

TEST_P(PowerCutConsistency, TheNextRunInstallsTheWholeUpdateFromWhatTheDiskKept) {
    const SandboxesInMemory inMemory;
    const UpdateShape shape = GetParam()();
    ScenarioRun recorded{shape};
    testing::DiskModel disk{recorded.inst.box.root()};
    recorded.inst.os.faulty.recordChanges();
    recorded.inst.run();
    const std::vector<testing::Change>& changes = recorded.inst.os.faulty.changes();
    std::set<std::size_t> tried;
    std::size_t states = 0;
    for (std::size_t k = 0; k <= changes.size(); ++k) {
        if (k > 0) disk.apply(changes[k - 1]);
        if (!PowerCutTried(changes, k)) continue;
        for (const testing::DiskState& state : disk.cutStates()) {
            std::string whole;
            for (const auto& [path, contents] : state)
                whole += path + '\0' + contents + '\0';
            if (!tried.insert(std::hash<std::string>{}(whole)).second) continue;
            ++states;
            ScenarioRun scenario{shape};
            testing::Materialise(scenario.inst.box.root(), state);
            const auto delivered = [&](const char* path) {
                const auto found = state.find(path);
                return found != state.end() && found->second == scenario.delivered;
            };
            EXPECT_TRUE(delivered(Installation::kArchive) || delivered(Installation::kBackup))
                << "power cut after change " << k << " of " << changes.size()
                << ": the delivered archive is lost";
            EXPECT_EQ(testing::Joined(RunAgain(scenario)), "")
                << "power cut after change " << k << " of " << changes.size();
        }
    }
    std::cout << shape.name << ": " << changes.size() << " changes, " << states
              << " states after a power cut\n";
    // The model follows the run: without a power cut it holds what the disk holds.
    EXPECT_TRUE(disk.current() == testing::FilesBelow(recorded.inst.box.root()));
}

INSTANTIATE_TEST_SUITE_P(Shapes, PowerCutConsistency,
                         ::testing::Values(&testing::RepresentativeUpdate, &testing::LargerUpdate,
                                           &testing::SmallUpdate, &testing::EmptyingUpdate,
                                           &testing::SelfReplacingUpdate),
                         testing::ShapeName);

// A backup beside the archive after a run that did not reach its exit.
struct LeftBackupCase {
    const char* what;
    // Entries of the archive found in place; the backup always holds the full update.
    std::vector<testing::ZipEntry> archive;
    // With a record of the run: the archive that its changes made of the full update.
    std::optional<std::vector<testing::ZipEntry>> recordedCopy;
    bool backupGoesBack;
    const char* installedReadme;
    bool databaseInstalled;
};

const std::vector<testing::ZipEntry> kDelivered{
    {"orvupd.txt", "15.03.2019 3.1\r\n"},
    {"ORVEN.MDB", "hauptdatenbank 3.1"},
    {"liesmich.txt", "neu"},
};

TEST(LeftBackup, GoesBackOnlyOverWhatARunLeftOfIt) {
    const std::vector<testing::ZipEntry> reduced{kDelivered[1], kDelivered[2]};
    const LeftBackupCase cases[] = {
        {"the version file already removed", reduced, std::nullopt, true, "neu", true},
        {"every entry removed", {}, std::nullopt, true, "neu", true},
        {"an unchanged archive", kDelivered, std::nullopt, true, "neu", true},
        {"a new update with another file",
         {{"orvupd.txt", "01.04.2019 3.2\r\n"}, {"liesmich.txt", "neuer"}},
         std::nullopt,
         false,
         "neuer",
         false},
        {"a new update adding a file",
         {kDelivered[0], kDelivered[1], kDelivered[2], {"zusatz.txt", "zusatz"}},
         std::nullopt,
         false,
         "neu",
         true},
        {"what a recorded run made of its delivery", reduced, reduced, true, "neu", true},
        {"a recorded run's delivery, unchanged", kDelivered, reduced, true, "neu", true},
        // Its entries are some of the backup's, names, sizes and checksums alike: only the
        // record tells it from what the run made of the delivery.
        {"a new update of fewer files beside a recorded run",
         {kDelivered[0], kDelivered[2]},
         reduced,
         false,
         "neu",
         false},
    };
    for (const LeftBackupCase& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst;
        RunRecord record;
        if (c.recordedCopy) {
            inst.writeArchive(*c.recordedCopy);
            record.states.push_back(ContentOf(inst.os.real, Installation::kArchivePath));
        }
        inst.writeArchive(kDelivered);
        const std::string full = inst.archiveBytes();
        inst.box.writeFile(Installation::kBackup, full);
        if (c.recordedCopy) {
            record.delivered = ContentOf(inst.os.real, Installation::kArchivePath);
            WriteRecord(inst.os.real, Installation::kRecordPath, record);
        }
        if (c.archive.empty()) {
            inst.box.writeFile(Installation::kArchive,
                               std::string("PK\x05\x06", 4) + std::string(18, '\0'));
        } else {
            inst.writeArchive(c.archive);
        }
        const std::string found = inst.archiveBytes();
        inst.run();

        EXPECT_FALSE(inst.backupExists());
        EXPECT_FALSE(inst.box.exists(Installation::kRecord));
        EXPECT_EQ(inst.archiveBytes() == full, c.backupGoesBack);
        EXPECT_EQ(inst.archiveBytes() == found, !c.backupGoesBack || found == full);
        EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), c.installedReadme);
        EXPECT_EQ(inst.box.exists("DATEN/ORVEN.MDB"), c.databaseInstalled);
    }
}

// An unreadable archive is put back from the backup only when it holds the backup's data, as an
// interrupted removal leaves it; a cut or empty file is a damaged delivery and stays as it is.
TEST(LeftBackup, AnUnreadableArchiveIsReplacedOnlyWhenItHoldsTheBackupsData) {
    struct Case {
        const char* what;
        std::string archive;
        std::string backup; // empty: the delivered archive
        bool archiveIsDelivered;
    };
    Installation probe;
    probe.writeArchive(kDelivered);
    const std::string full = probe.archiveBytes();
    std::string directoryLost = full;
    directoryLost.replace(directoryLost.rfind("PK\x05\x06"), 4, std::string(4, '\0'));
    const Case cases[] = {
        {"a removal that broke off", directoryLost, "", true},
        {"an archive cut within its directory", full.substr(0, full.size() * 9 / 10), "", true},
        {"an archive cut within its data", full.substr(0, full.size() / 4), "", false},
        {"an empty archive file", "", "", false},
        {"a cut backup beside a good archive", full, full.substr(0, 40), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst;
        inst.box.makeDirectory("ORVEN32/update");
        inst.box.writeFile(Installation::kArchive, c.archive);
        inst.box.writeFile(Installation::kBackup, c.backup.empty() ? full : c.backup);
        inst.run();
        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.archiveBytes() == full, c.archiveIsDelivered);
        if (!c.archiveIsDelivered) {
            EXPECT_EQ(inst.archiveBytes(), c.archive);
        }
        EXPECT_EQ(inst.box.exists("ORVEN32/liesmich.txt"), c.archiveIsDelivered);
    }
}

} // namespace
} // namespace orv
