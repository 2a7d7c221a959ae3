// The real updater program killed at moments spread over a large update: whatever the moment,
// the archive (or its backup) survives as delivered, no old file is lost, and the next run
// installs the whole update and leaves nothing of the killed run behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "reliability/sampling.h"
#include "support/sandbox.h"
#include "support/zip_writer.h"

extern char** environ;

namespace orv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::Sandbox;

constexpr const char* kArchive = "ORVEN32/update/orvupd.zip";
constexpr const char* kBackup = "ORVEN32/update/orvupd.zip$$$";
constexpr const char* kProgram = "ORVEN32/UPDATE/orvupd";
constexpr const char* kApplication = "ORVEN32/orv/orven32.exe";
constexpr const char* kIni = "ORVEN32/orv/orven32.ini";
// The run's log and the one of the run before.
constexpr const char* kLog = "ORVEN32/update/orvupd.log";
constexpr const char* kPreviousLog = "ORVEN32/update/orvupd.1.log";
// Does nothing, so that the restart at the end leaves no trace.
constexpr const char* kApplicationStandIn = "#!/bin/sh\nexit 0\n";
constexpr const char* kIniText = "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\VW\r\nPfad3=\r\n";
// The Yes to the version question, then Enter for every further box.
constexpr const char* kAnswers = "j\n\n\n\n\n\n\n\n";
constexpr std::size_t kKillPoints = 10;
constexpr auto kLongestRun = std::chrono::seconds(60);

enum class Kind { Random, Text };

// One file of the update: its entry, where it lands (below drive C:, the sandbox), and how
// its contents are made; generated on demand, so that the test holds little of the update.
struct PlannedFile {
    std::string entry;
    std::string target;
    Kind kind;
    std::size_t size;
    std::uint32_t seed;
    std::optional<std::string> old; // what the installation holds before the update

    std::string contents() const {
        std::string text;
        text.reserve(size);
        if (kind == Kind::Random) {
            std::uint32_t state = seed * 2654435761u + 1;
            while (text.size() < size) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                text += static_cast<char>(state & 0xFF);
            }
        } else {
            for (std::size_t line = 0; text.size() < size; ++line) {
                text += "Satz " + std::to_string(line) + " der Tabelle " + std::to_string(seed) +
                        ": Stammdaten, unverändert seit " + std::to_string(1990 + line % 30) +
                        "\r\n";
            }
            text.resize(size);
        }
        return text;
    }
};

// About 60 MB of archive: the version file, the four databases, a control and a library under
// a folder, and three hundred application files, a third of them random (they do not shrink),
// the others text (they shrink a lot); some of them over older files.
std::vector<PlannedFile> LargeUpdate() {
    constexpr std::size_t kKiB = 1024;
    constexpr std::size_t kMiB = 1024 * kKiB;
    std::vector<PlannedFile> plan{
        {"orvupd.txt", "ORVEN32/orv/orvupd.txt", Kind::Text, 0, 0, std::nullopt},
        {"ORVTABS.MDB", "ORVEN32/KEYTABS/ORVTABS.MDB", Kind::Random, 3 * kMiB, 1,
         "schluesseltabellen 3.0"},
        {"MUNDAREL.MDB", "ORVEN32/KEYTABS/MUNDAREL.MDB", Kind::Text, 2 * kMiB, 2, std::nullopt},
        {"ORVEN.MDB", "DATEN/ORVEN.MDB", Kind::Random, 8 * kMiB, 3, "hauptdatenbank 3.0"},
        {"ORVVW.MDB", "DATEN/VW/ORVVW.MDB", Kind::Text, 4 * kMiB, 4, std::nullopt},
        {"SYSTEM/orvgrid.ocx", "SYSTEM/orvgrid.ocx", Kind::Random, 6 * kMiB, 5,
         "steuerelement 3.0"},
        {"SYSTEM/orvcalc.dll", "SYSTEM/orvcalc.dll", Kind::Random, kMiB / 2, 6, std::nullopt},
    };
    for (std::uint32_t i = 1; i <= 300; ++i) {
        const std::string name = "orv/teil" + std::to_string(i % 12) + "/datei" +
                                 std::to_string(i) + (i % 3 == 0 ? ".bin" : ".txt");
        const bool random = i % 3 == 0;
        std::optional<std::string> old;
        if (i % 10 == 0) old = "alte datei " + std::to_string(i);
        plan.push_back({name, "ORVEN32/" + name, random ? Kind::Random : Kind::Text,
                        random ? 270 * kKiB + i * kKiB : 150 * kKiB + i * 100, 100 + i, old});
    }
    return plan;
}

std::string VersionFileContents() {
    return "15.03.2025 3.1\r\n";
}

std::string Expected(const PlannedFile& file) {
    return file.entry == "orvupd.txt" ? VersionFileContents() : file.contents();
}

std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    if (!left || !right || fs::file_size(a) != fs::file_size(b)) return false;
    std::vector<char> x(1 << 20);
    std::vector<char> y(1 << 20);
    while (left) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(x.begin(), x.begin() + left.gcount(), y.begin())) {
            return false;
        }
    }
    return true;
}

// The updater program as a child process; killed and reaped at the end if it still runs.
class UpdaterProcess {
  public:
    UpdaterProcess(const Sandbox& box, const fs::path& answers, const fs::path& log) {
        std::vector<std::string> environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string entry = *variable;
            if (entry.rfind("ORVUPD_DRIVE_ROOT=", 0) == 0 || entry.rfind("WINDIR=", 0) == 0) {
                continue;
            }
            environment.push_back(entry);
        }
        environment.push_back("ORVUPD_DRIVE_ROOT=" + box.root());
        environment.push_back("WINDIR=" + box.path("WINDOWS"));
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        std::string program = box.path(kProgram);
        std::string date = "01.02.2024";
        std::string label = "3.0";
        char* const argv[] = {program.data(), date.data(), label.data(), nullptr};

        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 0, answers.c_str(), O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                           0644);
        ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int error =
            ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data());
        ::posix_spawn_file_actions_destroy(&actions);
        if (error != 0) pid_ = -1;
    }
    ~UpdaterProcess() {
        if (pid_ > 0) kill();
    }
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // True when the program was still running and died of the kill.
    bool kill() {
        if (pid_ <= 0) return false;
        ::kill(pid_, SIGKILL);
        return reap(0) == Ending::Killed;
    }

    // True once the program has ended (it is then reaped).
    bool ended() { return pid_ <= 0 || reap(WNOHANG) != Ending::Running; }

    // Waits for the end, at most until the deadline (then kills); true on exit status 0.
    bool waitForExit(Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            if (pid_ <= 0) return succeeded_;
            if (ended()) return succeeded_;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill();
        return false;
    }

  private:
    enum class Ending { Running, Exited, Killed, Other };

    Ending reap(int options) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, options);
        if (done == 0) return Ending::Running;
        pid_ = -1;
        if (done < 0) return Ending::Other;
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return Ending::Killed;
        succeeded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return WIFEXITED(status) ? Ending::Exited : Ending::Other;
    }

    bool succeeded_ = false;
    pid_t pid_ = -1;
};

// The files of a folder, relative and sorted.
std::set<std::string> FileNamesBelow(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) names.insert(fs::relative(entry.path(), root).generic_string());
    }
    return names;
}

class TimedKill : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        plan_ = std::make_unique<const std::vector<PlannedFile>>(LargeUpdate());
        scratch_ = std::make_unique<const Sandbox>();
        std::vector<testing::ZipEntry> entries;
        for (const PlannedFile& file : *plan_) {
            entries.push_back({file.entry, Expected(file)});
        }
        testing::WriteZip(scratch_->path("orvupd.zip"), entries);
        WriteFile(scratch_->path("answers"), kAnswers);
    }
    static void TearDownTestSuite() {
        scratch_.reset();
        plan_.reset();
    }

    static const std::vector<PlannedFile>& plan() { return *plan_; }
    static fs::path delivered() { return scratch_->path("orvupd.zip"); }

    // An installation with the older files in place and the update delivered.
    static void LayOut(const Sandbox& box) {
        for (const char* folder : {"ORVEN32/UPDATE", "DATEN/VW", "WINDOWS"}) {
            box.makeDirectory(folder);
        }
        fs::copy_file(ORV_UPDATER, box.path(kProgram));
        WriteFile(box.path(kApplication), kApplicationStandIn);
        fs::permissions(box.path(kApplication),
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        WriteFile(box.path(kIni), kIniText);
        for (const PlannedFile& file : plan()) {
            if (file.old) WriteFile(box.path(file.target), *file.old);
        }
        box.makeDirectory("ORVEN32/update");
        fs::copy_file(delivered(), box.path(kArchive));
    }

    // Runs the program to its end: empty when it ended well within the time.
    static std::string RunToEnd(const Sandbox& box, const fs::path& log) {
        UpdaterProcess updater{box, scratch_->path("answers"), log};
        if (!updater.started()) return "the program did not start";
        if (!updater.waitForExit(Clock::now() + kLongestRun)) {
            return "the program did not end well: " + ReadFile(log).value_or("");
        }
        return "";
    }

    // What a killed run may leave: the archive or its backup as delivered, every old file
    // either still old or already new.
    static std::vector<std::string> Damage(const Sandbox& box) {
        std::vector<std::string> problems;
        if (!SameBytes(box.path(kArchive), delivered()) &&
            !SameBytes(box.path(kBackup), delivered())) {
            problems.push_back("neither the archive nor its backup is as delivered");
        }
        for (const PlannedFile& file : plan()) {
            if (!file.old) continue;
            const std::optional<std::string> now = ReadFile(box.path(file.target));
            if (!now) {
                problems.push_back(file.target + ": the old file is lost");
            } else if (*now != *file.old && *now != Expected(file)) {
                problems.push_back(file.target + ": neither old nor new");
            }
        }
        return problems;
    }

    // After a run that must have installed everything: each file new, the archive as
    // delivered, the installation's own files unchanged, and nothing else.
    static std::vector<std::string> Incompleteness(const Sandbox& box, const fs::path& log) {
        std::vector<std::string> problems;
        std::set<std::string> expected{kArchive, kProgram, kApplication, kIni, kLog, kPreviousLog};
        if (!SameBytes(box.path(kArchive), delivered())) {
            problems.push_back("the archive is not as delivered");
        }
        if (ReadFile(box.path(kApplication)) != kApplicationStandIn) {
            problems.push_back("the application was changed");
        }
        if (ReadFile(box.path(kIni)) != kIniText) problems.push_back("the INI file was changed");
        for (const PlannedFile& file : plan()) {
            expected.insert(file.target);
            const std::optional<std::string> now = ReadFile(box.path(file.target));
            if (!now) {
                problems.push_back(file.target + ": missing");
            } else if (*now != Expected(file)) {
                problems.push_back(file.target + ": not the new file");
            }
        }
        for (const std::string& name : FileNamesBelow(box.root())) {
            if (expected.count(name) == 0) problems.push_back(name + ": left behind");
        }
        const std::string report = ReadFile(log).value_or("");
        const std::string count =
            "Es wurden " + std::to_string(plan().size()) + " Dateien kopiert.";
        if (report.find("ORVEN-Update ordnungsgemäß installiert.") == std::string::npos ||
            report.find(count) == std::string::npos) {
            problems.push_back("no report of all " + std::to_string(plan().size()) +
                               " files installed");
        }
        return problems;
    }

    // The files after the kill, then a run to the end and the files after it.
    static void CheckTheKillAndTheNextRun(const Sandbox& box) {
        EXPECT_EQ(Joined(Damage(box)), "") << "after the kill";
        const fs::path log = scratch_->path("again.log");
        ASSERT_EQ(RunToEnd(box, log), "");
        EXPECT_EQ(Joined(Incompleteness(box, log)), "") << "after the next run";
    }

    static std::string Joined(const std::vector<std::string>& problems) {
        std::string joined;
        for (const std::string& problem : problems) {
            joined += (joined.empty() ? "" : ", ") + problem;
        }
        return joined;
    }

    // Made once for all the runs: generating and packing the update takes seconds.
    static inline std::unique_ptr<const std::vector<PlannedFile>> plan_;
    static inline std::unique_ptr<const Sandbox> scratch_;
};

constexpr const char* kSlowUnderSanitizers =
    "the program runs many times slower under the sanitizers; the kills of the real program run "
    "in the normal build";

TEST_F(TimedKill, TheNextRunInstallsTheWholeUpdate) {
    if (testing::kSanitized) GTEST_SKIP() << kSlowUnderSanitizers;
    const auto begin = Clock::now();

    // Whole runs first: they must install everything, and the shorter one spreads the kills
    // (the first may be slowed by a cold cache).
    Clock::duration whole = Clock::duration::max();
    for (int run = 0; run < 2; ++run) {
        Sandbox box;
        LayOut(box);
        const auto start = Clock::now();
        ASSERT_EQ(RunToEnd(box, scratch_->path("whole.log")), "");
        whole = std::min(whole, Clock::now() - start);
        ASSERT_EQ(Joined(Incompleteness(box, scratch_->path("whole.log"))), "");
    }

    std::size_t killed = 0;
    for (std::size_t k = 1; k <= kKillPoints; ++k) {
        const Clock::duration delay =
            whole * static_cast<Clock::rep>(k) / static_cast<Clock::rep>(kKillPoints + 1);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(delay).count();
        SCOPED_TRACE("killed after " + std::to_string(ms) + " ms");
        Sandbox box;
        LayOut(box);
        {
            UpdaterProcess updater{box, scratch_->path("answers"), scratch_->path("killed.log")};
            ASSERT_TRUE(updater.started());
            std::this_thread::sleep_for(delay);
            if (updater.kill()) ++killed;
        }
        CheckTheKillAndTheNextRun(box);
    }

    const auto total = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - begin);
    std::cout << "archive of " << fs::file_size(delivered()) / (1024 * 1024) << " MiB, whole run "
              << std::chrono::duration_cast<std::chrono::milliseconds>(whole).count() << " ms, "
              << killed << " of " << kKillPoints << " runs killed, " << total.count()
              << " s in all\n";
    // A kill after the program ended tests nothing; most must land in the run (a busy machine
    // may end a run sooner or later than measured).
    EXPECT_GE(killed, kKillPoints / 2);
}

// Two updaters started at once for one installation (a double click, the application starting
// it twice): one installs, the other ends at once without a word, and the delivered archive is
// never lost.
TEST_F(TimedKill, OfTwoUpdatersStartedAtOnceOneInstallsAndTheOtherEndsAtOnce) {
    if (testing::kSanitized) GTEST_SKIP() << kSlowUnderSanitizers;
    for (int attempt = 1; attempt <= 4; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        Sandbox box;
        LayOut(box);
        const fs::path logs[] = {scratch_->path("first.log"), scratch_->path("second.log")};
        {
            UpdaterProcess first{box, scratch_->path("answers"), logs[0]};
            UpdaterProcess second{box, scratch_->path("answers"), logs[1]};
            ASSERT_TRUE(first.started() && second.started());
            EXPECT_TRUE(first.waitForExit(Clock::now() + kLongestRun));
            EXPECT_TRUE(second.waitForExit(Clock::now() + kLongestRun));
        }
        const std::string said[] = {ReadFile(logs[0]).value_or(""), ReadFile(logs[1]).value_or("")};
        const int installers =
            static_cast<int>(said[0].find("ordnungsgemäß") != std::string::npos) +
            static_cast<int>(said[1].find("ordnungsgemäß") != std::string::npos);
        EXPECT_EQ(installers, 1);
        EXPECT_TRUE(said[0].empty() || said[1].empty()) << "the second updater showed something";
        const fs::path& winner = said[0].empty() ? logs[1] : logs[0];
        EXPECT_EQ(Joined(Incompleteness(box, winner)), "");
    }
}

// Kills the program as soon as a file whose name holds the part appears in the folder; true
// when the program was still running then.
bool KillWhenSeen(UpdaterProcess& updater, const fs::path& folder, const std::string& part) {
    const auto deadline = Clock::now() + kLongestRun;
    while (!updater.ended() && Clock::now() < deadline) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename().string().find(part) != std::string::npos) {
                return updater.kill();
            }
        }
    }
    return false;
}

// The long writes of a run, each seen by the temporary file it writes into.
struct LongWrite {
    const char* what;
    const char* folder;
    const char* namePart;
};

const LongWrite kLongWrites[] = {
    {"the backup copy of the archive", "ORVEN32/update", ".orvupd.zip$$$.orvtmp-"},
    {"the main database", "DATEN", "ORVEN.MDB.orvupd-"},
    {"the control under its folder", "SYSTEM", "orvgrid.ocx.orvupd-"},
};

TEST_F(TimedKill, InTheMiddleOfEachLongWriteTheNextRunInstallsTheWholeUpdate) {
    if (testing::kSanitized) GTEST_SKIP() << kSlowUnderSanitizers;
    // A busy machine may let a write pass unseen between two looks: a few tries each.
    constexpr int kTries = 4;
    for (const LongWrite& write : kLongWrites) {
        SCOPED_TRACE(std::string("killed while writing ") + write.what);
        bool seen = false;
        for (int attempt = 1; attempt <= kTries && !seen; ++attempt) {
            Sandbox box;
            LayOut(box);
            {
                UpdaterProcess updater{box, scratch_->path("answers"),
                                       scratch_->path("killed.log")};
                ASSERT_TRUE(updater.started());
                seen = KillWhenSeen(updater, box.path(write.folder), write.namePart);
            }
            if (seen) CheckTheKillAndTheNextRun(box);
        }
        EXPECT_TRUE(seen) << "the write was not seen while the program ran, in " << kTries
                          << " tries";
    }
}

} // namespace
} // namespace orv
