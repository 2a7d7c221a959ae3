// The updater killed at any point of a run: the next run must install the whole update, from
// the archive as delivered, and leave nothing of the killed run behind.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "reliability/sampling.h"
#include "reliability/update_scenario.h"
#include "update/main.h"

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

// A backup beside the archive after a run that did not reach its exit.
struct LeftBackupCase {
    const char* what;
    // Entries of the archive found in place; the backup always holds the full update.
    std::vector<testing::ZipEntry> archive;
    bool backupGoesBack;
    const char* installedReadme;
};

const std::vector<testing::ZipEntry> kDelivered{
    {"orvupd.txt", "15.03.2019 3.1\r\n"},
    {"ORVEN.MDB", "hauptdatenbank 3.1"},
    {"liesmich.txt", "neu"},
};

TEST(LeftBackup, GoesBackOnlyOverWhatARunLeftOfIt) {
    const LeftBackupCase cases[] = {
        {"the version file already removed", {kDelivered[1], kDelivered[2]}, true, "neu"},
        {"every entry removed", {}, true, "neu"},
        {"an unchanged archive", kDelivered, true, "neu"},
        {"a new update with another file",
         {{"orvupd.txt", "01.04.2019 3.2\r\n"}, {"liesmich.txt", "neuer"}},
         false,
         "neuer"},
        {"a new update adding a file",
         {kDelivered[0], kDelivered[1], kDelivered[2], {"zusatz.txt", "zusatz"}},
         false,
         "neu"},
    };
    for (const LeftBackupCase& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst;
        inst.writeArchive(kDelivered);
        const std::string full = inst.archiveBytes();
        inst.box.writeFile(Installation::kBackup, full);
        if (c.archive.empty()) {
            inst.box.writeFile(Installation::kArchive,
                               std::string("PK\x05\x06", 4) + std::string(18, '\0'));
        } else {
            inst.writeArchive(c.archive);
        }
        const std::string found = inst.archiveBytes();
        inst.run();

        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.archiveBytes() == full, c.backupGoesBack);
        EXPECT_EQ(inst.archiveBytes() == found, !c.backupGoesBack || found == full);
        EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), c.installedReadme);
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
