// A whole run of the real updater program with its system calls read by strace, against what a
// power cut may take back: data written since its file was last synced, and names made since
// their folder was. No file is named before its data is on the disk, the archive is not changed
// before its backup and the record of the run are on the disk under their names, no removal from
// the archive comes before the files of its row are on the disk, the record goes only once the
// archive is back as delivered on the disk, and nothing the run wrote is left off the disk at
// its end.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "reliability/update_scenario.h"

extern char** environ;

namespace orv {
namespace {

namespace fs = std::filesystem;
using testing::Installation;
using testing::ScenarioRun;
using testing::UpdateShape;

constexpr const char* kStrace = "/usr/bin/strace";
// Every call that writes data, names or removes a file or folder, or puts something on the disk.
constexpr const char* kTracedCalls =
    "open,openat,creat,write,pwrite64,writev,pwritev,pwritev2,ftruncate,truncate,fallocate,"
    "copy_file_range,sendfile,fsync,fdatasync,syncfs,sync,sync_file_range,rename,renameat,"
    "renameat2,link,linkat,unlink,unlinkat,mkdir,mkdirat";
constexpr const char* kProgram = "ORVEN32/UPDATE/orvupd";
// The Yes to the version question, then Enter for every further box.
constexpr const char* kAnswers = "j\n\n\n\n\n\n\n\n";

// One finished system call: its name, its arguments as strace printed them, and its result.
struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string result;

    bool failed() const { return result.rfind("-1", 0) == 0; }
};

// The arguments between the parentheses, split at the commas that stand outside quotes,
// brackets and the paths that -y puts after a descriptor.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            current += c;
            if (c == '\\' && i + 1 < text.size()) {
                current += text[++i];
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == '"') quoted = true;
        if (c == '(' || c == '[' || c == '{' || c == '<') ++depth;
        if (c == ')' || c == ']' || c == '}' || c == '>') --depth;
        if (c == ',' && depth == 0) {
            args.push_back(current);
            current.clear();
            if (i + 1 < text.size() && text[i + 1] == ' ') ++i;
            continue;
        }
        current += c;
    }
    if (!current.empty()) args.push_back(current);
    return args;
}

// One line of the trace, without the process number in front, as a call; none for what is
// no call (a signal, an exit).
// The result follows ") = ", or more blanks where strace pads the result of a resumed call to a
// column ("<... fsync resumed>)         = 0").
std::optional<Call> ParseCall(const std::string& line) {
    const std::size_t open = line.find('(');
    const std::size_t equals = line.rfind(" = ");
    if (open == std::string::npos || equals == std::string::npos) return std::nullopt;
    const std::size_t close = line.find_last_not_of(' ', equals);
    if (close == std::string::npos || close < open || line[close] != ')') return std::nullopt;
    return Call{line.substr(0, open), SplitArguments(line.substr(open + 1, close - open - 1)),
                line.substr(equals + 3)};
}

// The calls of a trace written with -f, in the order they finished. A call that another
// thread's call interrupted comes in two lines ("<unfinished ...>", then "<... resumed>"),
// joined at the second.
std::vector<Call> ReadTrace(const fs::path& path) {
    std::ifstream in(path);
    std::vector<Call> calls;
    std::map<std::string, std::string> unfinished; // process -> the line's start
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string process = line.substr(0, space);
        std::string rest = line.substr(line.find_first_not_of(' ', space));
        constexpr std::string_view kUnfinished = " <unfinished ...>";
        if (rest.size() > kUnfinished.size() &&
            rest.compare(rest.size() - kUnfinished.size(), kUnfinished.size(), kUnfinished) == 0) {
            unfinished[process] = rest.substr(0, rest.size() - kUnfinished.size());
            continue;
        }
        if (rest.rfind("<... ", 0) == 0) {
            const std::size_t resumed = rest.find(" resumed>");
            if (resumed == std::string::npos) continue;
            rest = unfinished[process] + rest.substr(resumed + 9);
            unfinished.erase(process);
        }
        if (std::optional<Call> call = ParseCall(rest)) calls.push_back(std::move(*call));
    }
    return calls;
}

// The path that -y shows for a descriptor ("3</a/b>" or "AT_FDCWD</a>"); empty for none.
std::string DescriptorPath(const std::string& arg) {
    const std::size_t open = arg.find('<');
    if (open == std::string::npos || arg.back() != '>') return "";
    return arg.substr(open + 1, arg.size() - open - 2);
}

// A quoted path argument, its escapes undone.
std::string QuotedPath(const std::string& arg) {
    std::string text;
    for (std::size_t i = 1; i < arg.size() && arg[i] != '"'; ++i) {
        if (arg[i] == '\\' && i + 1 < arg.size()) {
            ++i;
            if (arg[i] == 'x' && i + 2 < arg.size()) {
                text += static_cast<char>(std::stoi(arg.substr(i + 1, 2), nullptr, 16));
                i += 2;
                continue;
            }
        }
        text += arg[i];
    }
    return text;
}

// The path that a folder descriptor and a name give together.
std::string PathAt(const std::string& folderArg, const std::string& nameArg) {
    const std::string name = QuotedPath(nameArg);
    if (!name.empty() && name[0] == '/') return fs::path(name).lexically_normal().string();
    return (fs::path(DescriptorPath(folderArg)) / name).lexically_normal().string();
}

std::string ParentOf(const std::string& path) {
    return fs::path(path).parent_path().string();
}

// What a power cut at each moment of the run could take back, call by call, and every break of
// the rules that this shows.
class PowerCutExposure {
  public:
    PowerCutExposure(std::string root, std::string archive, std::string backup, std::string record,
                     std::set<std::string> logs)
        : root_(std::move(root)), archive_(std::move(archive)), backup_(std::move(backup)),
          record_(std::move(record)), logs_(std::move(logs)) {}

    void apply(const Call& call) {
        if (call.failed()) return;
        const std::vector<std::string>& a = call.args;
        const std::string& name = call.name;
        if (name == "write" || name == "pwrite64" || name == "writev" || name == "pwritev" ||
            name == "pwritev2" || name == "ftruncate" || name == "fallocate") {
            written(DescriptorPath(a.at(0)), call);
        } else if (name == "truncate") {
            written(QuotedPath(a.at(0)), call);
        } else if (name == "copy_file_range") {
            written(DescriptorPath(a.at(2)), call);
        } else if (name == "sendfile") {
            written(DescriptorPath(a.at(0)), call);
        } else if (name == "open" || name == "creat" || name == "openat") {
            const std::string path = DescriptorPath(call.result);
            const std::string flags = name == "openat" ? a.at(2) : name == "open" ? a.at(1) : "";
            if (flags.find("O_CREAT") != std::string::npos || name == "creat") named(path);
            if (flags.find("O_TRUNC") != std::string::npos || name == "creat") {
                written(path, call);
            }
        } else if (name == "fsync" || name == "fdatasync") {
            const std::string path = DescriptorPath(a.at(0));
            if (fs::is_directory(path) || unsyncedNames_.count(path) > 0) {
                unsyncedNames_.erase(path);
            } else {
                unsynced_[path] = false;
            }
        } else if (name == "syncfs" || name == "sync") {
            // The run's files all lie on one volume.
            for (auto& [path, dirty] : unsynced_)
                dirty = false;
            unsyncedNames_.clear();
        } else if (name == "rename" || name == "renameat" || name == "renameat2") {
            const bool at = name != "rename";
            const std::string from = at ? PathAt(a.at(0), a.at(1)) : QuotedPath(a.at(0));
            const std::string to = at ? PathAt(a.at(2), a.at(3)) : QuotedPath(a.at(1));
            renamed(from, to, call);
        } else if (name == "link" || name == "linkat") {
            const std::string from =
                name == "link" ? QuotedPath(a.at(0)) : PathAt(a.at(0), a.at(1));
            const std::string to = name == "link" ? QuotedPath(a.at(1)) : PathAt(a.at(2), a.at(3));
            const auto source = unsynced_.find(from);
            if (source != unsynced_.end()) unsynced_[to] = source->second;
            named(to);
        } else if (name == "unlink" || name == "unlinkat") {
            const std::string path =
                name == "unlink" ? QuotedPath(a.at(0)) : PathAt(a.at(0), a.at(1));
            if (path == archive_) archiveChanged(call);
            if (path == record_) recordRemoved(call);
            unsynced_.erase(path);
        } else if (name == "mkdir" || name == "mkdirat") {
            named(name == "mkdir" ? QuotedPath(a.at(0)) : PathAt(a.at(0), a.at(1)));
        }
    }

    // What the run left off the disk at its end.
    void end() {
        if (!recordWritten_) problem("the run wrote no record of itself");
        if (recordWritten_ && !recordRemoved_) problem("the record of the run is left at its end");
        for (const auto& [path, dirty] : unsynced_) {
            if (dirty) problem("at the end, the data of " + relative(path) + " is not synced");
        }
        for (const std::string& folder : unsyncedNames_) {
            problem("at the end, names made in " + relative(folder) + " are not synced");
        }
    }

    const std::vector<std::string>& problems() const { return problems_; }

  private:
    bool ours(const std::string& path) const { return path.rfind(root_ + "/", 0) == 0; }

    std::string relative(const std::string& path) const {
        return ours(path) ? path.substr(root_.size() + 1) : path;
    }

    void problem(const std::string& text) {
        // One report of each fault is enough to find it.
        if (std::find(problems_.begin(), problems_.end(), text) == problems_.end() &&
            problems_.size() < 20) {
            problems_.push_back(text);
        }
    }

    void written(const std::string& path, const Call& call) {
        if (!ours(path)) return;
        if (path == archive_) {
            archiveChanged(call);
            removedEntries(call);
        }
        unsynced_[path] = true;
    }

    void named(const std::string& path) {
        if (ours(path)) unsyncedNames_.insert(ParentOf(path));
    }

    void renamed(const std::string& from, const std::string& to, const Call& call) {
        if (!ours(to)) return;
        const auto source = unsynced_.find(from);
        const bool dirty = source != unsynced_.end() && source->second;
        if (dirty) {
            problem(call.name + " of " + relative(from) + " to " + relative(to) +
                    " before its data was synced");
        }
        if (to == archive_) archiveChanged(call);
        if (to == backup_) backupNamed(call);
        if (to == record_) recordWritten_ = true;
        if (source != unsynced_.end()) unsynced_.erase(source);
        unsynced_[to] = dirty;
        named(to);
    }

    // The record goes once the archive is back as delivered, name and data, on the disk.
    void recordRemoved(const Call& call) {
        recordRemoved_ = true;
        if (unsynced_.count(backup_) > 0) {
            problem(call.name + " removed the record while the backup was still there");
        }
        const auto archive = unsynced_.find(archive_);
        if (unsyncedNames_.count(ParentOf(archive_)) > 0 ||
            (archive != unsynced_.end() && archive->second)) {
            problem(call.name + " removed the record before the archive was back on the disk");
        }
    }

    // A backup with a name has a record on the disk that tells which delivery it keeps: the next
    // run never has to guess whether it is the delivery or an older one.
    void backupNamed(const Call& call) {
        const auto record = unsynced_.find(record_);
        if (record == unsynced_.end() || record->second ||
            unsyncedNames_.count(ParentOf(record_)) > 0) {
            problem(call.name + " named the backup before the record of the run was on the disk");
        }
    }

    // The delivered archive must be safe in its backup, data and name, and the record of the run
    // must tell of it, before the archive changes.
    void archiveChanged(const Call& call) {
        const auto record = unsynced_.find(record_);
        if (record == unsynced_.end()) {
            problem(call.name + " changed the archive without a record of the run");
        } else if (record->second || unsyncedNames_.count(ParentOf(record_)) > 0) {
            problem(call.name + " changed the archive before the record was on the disk");
        }
        if (recordRemoved_) problem(call.name + " changed the archive after the record went");
        const auto backup = unsynced_.find(backup_);
        if (backup == unsynced_.end()) {
            problem(call.name + " changed the archive before its backup was made");
        } else if (backup->second) {
            problem(call.name + " changed the archive before the backup's data was synced");
        } else if (unsyncedNames_.count(ParentOf(backup_)) > 0) {
            problem(call.name + " changed the archive before the backup's name was synced");
        }
    }

    // A write to the archive removes entries: whatever the run placed must be on the disk.
    void removedEntries(const Call& call) {
        for (const auto& [path, dirty] : unsynced_) {
            // The backup has a rule of its own; the log tells of the run, it is no part of it.
            if (dirty && path != archive_ && path != backup_ && path != record_ &&
                logs_.count(path) == 0) {
                problem(call.name + " removed entries from the archive before the data of " +
                        relative(path) + " was synced");
            }
        }
        for (const std::string& folder : unsyncedNames_) {
            problem(call.name + " removed entries from the archive before the names in " +
                    relative(folder) + " were synced");
        }
    }

    std::string root_;
    std::string archive_;
    std::string backup_;
    std::string record_;
    std::set<std::string> logs_;
    bool recordWritten_ = false;
    bool recordRemoved_ = false;
    std::map<std::string, bool> unsynced_; // every file the run wrote or named: data unsynced
    std::set<std::string> unsyncedNames_;  // folders with names made since their last sync
    std::vector<std::string> problems_;
};

// Runs the updater program under strace over the installation, started by hand, answering
// Yes; empty when it ended well.
std::string RunTraced(const Installation& inst, const fs::path& trace, const fs::path& scratch) {
    std::vector<std::string> environment;
    // LeakSanitizer cannot work in a traced process; the untraced runs look for leaks.
    std::string sanitizer = "ASAN_OPTIONS=detect_leaks=0";
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
            sanitizer = entry + ":detect_leaks=0";
        } else if (entry.rfind("ORVUPD_DRIVE_ROOT=", 0) != 0 && entry.rfind("WINDIR=", 0) != 0) {
            environment.push_back(entry);
        }
    }
    environment.push_back(sanitizer);
    environment.push_back("ORVUPD_DRIVE_ROOT=" + inst.box.root());
    environment.push_back("WINDIR=" + inst.box.path("WINDOWS"));
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const fs::path answers = scratch / "answers";
    std::ofstream(answers) << kAnswers;
    const fs::path output = scratch / "output";
    std::vector<std::string> words{
        kStrace, "-f",         "-qq", "-y",           "-s", "0",
        "-e",    kTracedCalls, "-o",  trace.string(), "--", inst.box.path(kProgram)};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, answers.c_str(), O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, kStrace, &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return "strace did not start";
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    std::ifstream in(output);
    return "the program did not end well: " +
           std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SyncTrace : public ::testing::TestWithParam<UpdateShape (*)()> {};

TEST_P(SyncTrace, NothingIsNamedOrForgottenBeforeItIsOnTheDisk) {
    if (!fs::exists(kStrace)) GTEST_SKIP() << "strace is not installed (Debian package strace)";
    const UpdateShape shape = GetParam()();
    ScenarioRun scenario{shape};
    const Installation& inst = scenario.inst;
    fs::copy_file(ORV_UPDATER, inst.box.path(kProgram));
    scenario.before = scenario.files();
    const testing::Sandbox scratch;
    const fs::path trace = scratch.path("trace");

    ASSERT_EQ(RunTraced(inst, trace, scratch.root()), "");
    ASSERT_EQ(testing::Joined(scenario.incompleteness()), "") << "the traced run";

    const std::string root = fs::canonical(inst.box.root()).string();
    PowerCutExposure exposure{
        root,
        root + "/" + Installation::kArchive,
        root + "/" + Installation::kBackup,
        root + "/" + Installation::kRecord,
        {root + "/" + Installation::kLog, root + "/" + Installation::kPreviousLog}};
    const std::vector<Call> calls = ReadTrace(trace);
    std::size_t syncs = 0;
    for (const Call& call : calls) {
        exposure.apply(call);
        syncs += call.name.find("sync") != std::string::npos && call.name != "sync_file_range";
    }
    exposure.end();
    EXPECT_EQ(testing::Joined(exposure.problems()), "");
    EXPECT_GT(syncs, 0u) << "the trace shows no sync at all: " << calls.size() << " calls read";
}

INSTANTIATE_TEST_SUITE_P(Shapes, SyncTrace,
                         ::testing::Values(&testing::RepresentativeUpdate, &testing::LargerUpdate,
                                           &testing::SmallUpdate, &testing::EmptyingUpdate),
                         testing::ShapeName);

} // namespace
} // namespace orv
