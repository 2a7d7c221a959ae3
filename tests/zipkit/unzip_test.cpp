// Extraction against real files: archives by independent writers, hostile archives, and a
// file system that fails halfway.

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/zip_writer.h"
#include "test_support.h"

namespace orv::zipkit {
namespace {

using orv::testing::FaultyFileSystem;
using orv::testing::FileOp;
using testing::Contents;
using testing::GeneratedArchives;
using testing::Leftovers;
using testing::RecordingProgress;
using testing::Sandbox;
using testing::Snapshot;

constexpr const char* kArchive = "\\update\\orvupd.zip";
constexpr const char* kTarget = "\\ORVEN\\";

// An installation in a sandbox: the sandbox is the drive root, the archive lies in
// \update\orvupd.zip, and files go below \ORVEN.
class Installation : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto archives = GeneratedArchives();
        if (!archives) GTEST_SKIP() << "no test archives: python3 was missing at build time";
        archives_ = *archives;
        box_.makeDirectory("ORVEN");
    }

    // Puts a generated archive in place of the update archive; false when it was not made.
    bool useArchive(const std::string& name) {
        const std::string from = archives_ + "/" + name;
        if (!std::filesystem::exists(from)) return false;
        if (std::filesystem::is_directory(from)) {
            box_.makeDirectory("update/orvupd.zip");
        } else {
            testing::CopyFile(from, box_.path("update/orvupd.zip"));
        }
        return true;
    }

    std::int32_t extract(const std::string& mask, ProgressTarget* progress = nullptr,
                         const std::string& target = kTarget) {
        return zipkit_.UnZipEx(kArchive, target, mask, mask == "*.*" ? 1 : 0, nullptr, 2, progress);
    }

    std::string archives_;
    Sandbox box_;
    posix::PosixFileSystem files_{box_.root()};
    Zipkit zipkit_{files_};
};

// Each writer's archive unpacks into exactly the tree it was made from, with the stored times.
class IndependentWriters : public Installation,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(IndependentWriters, UnpackIntoTheTreeTheyWereMadeFrom) {
    if (!useArchive(GetParam())) GTEST_SKIP() << GetParam() << " was not made (tool missing)";
    const auto expected = Contents(archives_ + "/" + GetParam() + ".files");
    std::size_t fileCount = 0;
    for (const auto& [path, contents] : expected) {
        fileCount += contents != "<dir>" ? 1 : 0;
    }

    RecordingProgress progress;
    EXPECT_EQ(extract("*.*", &progress), static_cast<std::int32_t>(fileCount));
    EXPECT_EQ(Contents(box_.path("ORVEN")), expected);
    EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));

    for (const auto& entry : testing::ReadWithLibzip(box_.path("update/orvupd.zip"))) {
        if (entry.name.back() == '/') continue;
        EXPECT_EQ(testing::ModificationSeconds(box_.path("ORVEN/" + entry.name)), entry.modified)
            << entry.name;
    }
    EXPECT_TRUE(Leftovers(box_.root()).empty());
}

// The same archives list the entries they were made from: each name (an old DOS writer's as
// UTF-8 too) with its unpacked size, every file once.
TEST_P(IndependentWriters, ListTheEntriesTheyWereMadeFrom) {
    if (!useArchive(GetParam())) GTEST_SKIP() << GetParam() << " was not made (tool missing)";
    const auto made = Contents(archives_ + "/" + GetParam() + ".files");
    const StoredEntries listed = zipkit_.entriesOf(kArchive);
    ASSERT_EQ(listed.names.size(), listed.sizes.size());
    std::set<std::string> listedFiles;
    for (std::size_t i = 0; i < listed.names.size(); ++i) {
        std::string name = listed.names[i];
        const bool folder = name.back() == '/';
        if (folder) name.pop_back();
        const auto found = made.find(name);
        ASSERT_NE(found, made.end()) << name;
        EXPECT_EQ(listed.sizes[i], folder ? 0 : found->second.size()) << name;
        if (!folder) listedFiles.insert(name);
    }
    std::set<std::string> madeFiles;
    for (const auto& [path, contents] : made) {
        if (contents != "<dir>") madeFiles.insert(path);
    }
    EXPECT_EQ(listedFiles, madeFiles);
}

INSTANTIATE_TEST_SUITE_P(Archives, IndependentWriters,
                         ::testing::Values("py_stored.zip", "py_deflated.zip", "py_utf8.zip",
                                           "py_cp437.zip", "py_zip64.zip", "infozip.zip"),
                         [](const auto& testInfo) {
                             std::string name = testInfo.param;
                             return name.substr(0, name.find('.'));
                         });

struct MaskCase {
    const char* mask;
    std::set<std::string> written; // below ORVEN
};

// The plan's masks pick entries by their whole stored path.
TEST_F(Installation, MasksPickEntriesByTheirWholePath) {
    const MaskCase cases[] = {
        {"*orvupd.txt", {"orvupd.txt"}},
        {"*ORVUPD.TXT", {"orvupd.txt"}},
        {"ORVEN.MDB", {}},
        {"orv\\orven.mdb", {"ORV/ORVEN.MDB"}},
        {"*.OCX", {"ORV/system/x.ocx"}},
        {"*.DLL", {}},
        {"*.*", {"orvupd.txt", "ORV/ORVEN.MDB", "ORV/system/x.ocx"}},
    };
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    for (const MaskCase& c : cases) {
        std::filesystem::remove_all(box_.path("ORVEN"));
        box_.makeDirectory("ORVEN");
        EXPECT_EQ(extract(c.mask), static_cast<std::int32_t>(c.written.size())) << c.mask;
        std::set<std::string> written;
        for (const auto& [path, contents] : Contents(box_.path("ORVEN"))) {
            if (contents != "<dir>") written.insert(path);
        }
        EXPECT_EQ(written, c.written) << c.mask;
    }
}

// Existing files are replaced; folders that exist in another case are used, not doubled.
TEST_F(Installation, ReplacesFilesAndUsesExistingFoldersInAnyCase) {
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    box_.writeFile("ORVEN/orv/orven.mdb", "old database");
    box_.writeFile("ORVEN/orv/keep.ini", "untouched");
    testing::SetModificationSeconds(box_.path("ORVEN/orv/keep.ini"), 1000000000);

    EXPECT_EQ(extract("*.MDB"), 1);
    auto after = Snapshot(box_.path("ORVEN"));
    std::set<std::string> paths;
    for (const auto& [path, state] : after) {
        paths.insert(path);
    }
    // The new file takes the old one's place, under the name the old one had.
    EXPECT_EQ(paths, (std::set<std::string>{"orv", "orv/orven.mdb", "orv/keep.ini"}));
    EXPECT_EQ(after["orv/orven.mdb"].contents.size(), 360000u);
    EXPECT_EQ(after["orv/keep.ini"], (testing::NodeState{"untouched", 1000000000}));
}

struct RootCase {
    const char* archive;   // as the caller names it
    const char* targetDir; // "\" alone: the root of the archive's drive
    const char* landsAt;   // below the sandbox
};

TEST_F(Installation, TargetOfASeparatorAloneIsTheDriveRootOfTheArchive) {
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    const RootCase cases[] = {
        {"\\update\\orvupd.zip", "\\", "orvupd.txt"},
        {"C:\\update\\orvupd.zip", "\\", "orvupd.txt"},
        {"\\update\\orvupd.zip", "\\ORVEN\\\\", "ORVEN/orvupd.txt"},
        {"\\update\\orvupd.zip", "\\ORVEN\\neu\\tief\\", "ORVEN/neu/tief/orvupd.txt"},
    };
    for (const RootCase& c : cases) {
        std::filesystem::remove(box_.path(c.landsAt));
        EXPECT_EQ(zipkit_.UnZipEx(c.archive, c.targetDir, "*orvupd.txt", 0, nullptr, 2, nullptr),
                  1);
        EXPECT_EQ(testing::ReadFile(box_.path(c.landsAt)), "15.03.2019 3.1\r\n") << c.landsAt;
    }
}

struct RefusalCase {
    const char* archive;
    int number;
    const char* names; // what the message has to name
};

// Every one of these fails the whole call before a byte is written.
const RefusalCase kRefusals[] = {
    {"parent.zip", err::kZipUnsafeEntry, "../x"},
    {"parent_backslash.zip", err::kZipUnsafeEntry, "..\\x"},
    {"parent_inside.zip", err::kZipUnsafeEntry, "dir/../../x"},
    {"parent_folder.zip", err::kZipUnsafeEntry, "../d/"},
    {"drive.zip", err::kZipUnsafeEntry, "C:\\x"},
    {"drive_relative.zip", err::kZipUnsafeEntry, "C:x"},
    {"unc.zip", err::kZipUnsafeEntry, "\\\\server\\share\\x"},
    {"absolute.zip", err::kZipUnsafeEntry, "/x"},
    {"rooted.zip", err::kZipUnsafeEntry, "\\x"},
    {"device.zip", err::kZipUnsafeEntry, "CON"},
    {"device_extension.zip", err::kZipUnsafeEntry, "sub/con.txt"},
    {"stream.zip", err::kZipUnsafeEntry, "a.txt:s"},
    {"trailing_dot.zip", err::kZipUnsafeEntry, "x."},
    {"trailing_blank.zip", err::kZipUnsafeEntry, "x "},
    {"empty_component.zip", err::kZipUnsafeEntry, "a//b"},
    {"control.zip", err::kZipUnsafeEntry, "a?b"},
    {"symlink.zip", err::kZipSymbolicLink, "link"},
    {"encrypted.zip", err::kZipEncrypted, "secret.txt"},
    {"unsupported.zip", err::kZipUnsupported, "packed.bin"},
    {"duplicate.zip", err::kZipDuplicateName, "a.txt"},
    {"case_duplicate.zip", err::kZipDuplicateName, "README.TXT"},
    {"umlaut_case_duplicate.zip", err::kZipDuplicateName, "grÜße.TXT"},
    {"file_and_folder.zip", err::kZipDuplicateName, "a/b.txt"},
    {"bad_crc.zip", err::kZipCrc, "data.txt"},
    {"bomb.zip", err::kZipTooLarge, "bomb.bin"},
    {"short.zip", err::kZipDamaged, "short.bin"},
    {"truncated.zip", err::kZipNotAnArchive, kArchive},
    {"truncated_tail.zip", err::kZipNotAnArchive, kArchive},
    {"zero_length.zip", err::kZipNotAnArchive, kArchive},
    {"text.zip", err::kZipNotAnArchive, kArchive},
    {"folder.zip", err::kZipNotAnArchive, kArchive},
    {"no such archive", err::kFileNotFound, kArchive},
};

class Refusals : public Installation, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, FailWithAGermanMessageAndWriteNothing) {
    const RefusalCase& c = GetParam();
    useArchive(c.archive);
    box_.writeFile("ORVEN/good.txt", "old");
    box_.writeFile("ORVEN/a.txt", "old a");
    const auto before = Snapshot(box_.root());

    RecordingProgress progress;
    try {
        extract("*.*", &progress);
        ADD_FAILURE() << c.archive << " was extracted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), c.number) << e.description();
        EXPECT_EQ(e.description(), ErrorText(c.number) + ": " + c.names);
    }
    EXPECT_EQ(Snapshot(box_.root()), before);
    EXPECT_TRUE(Leftovers(box_.root()).empty());
    EXPECT_LT(progress.texts.size(), 101u);
    EXPECT_NE(progress.texts.empty() ? "" : progress.texts.back(), "100");
}

INSTANTIATE_TEST_SUITE_P(Archives, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& testInfo) {
                             std::string name = testInfo.param.archive;
                             name = name.substr(0, name.find('.'));
                             for (char& ch : name) {
                                 ch = std::isalnum(ch) ? ch : '_';
                             }
                             return name;
                         });

// A refused entry that the mask does not select is no obstacle.
TEST_F(Installation, EntriesOutsideTheMaskAreNotJudged) {
    ASSERT_TRUE(useArchive("parent.zip"));
    EXPECT_EQ(extract("good.txt"), 1);
    EXPECT_EQ(testing::ReadFile(box_.path("ORVEN/good.txt")), "harmless\n");
}

struct FaultCase {
    const char* what;
    std::optional<FileOp> failing;  // fails at its k-th call; none: ORV/ORVEN.MDB is held
    std::size_t at;                 // that k
    int number;                     // with this error
    std::set<std::string> existing; // targets that are there before, below ORVEN
};

// py_deflated.zip holds orvupd.txt, ORV/ORVEN.MDB and ORV/system/x.ocx, placed in that order:
// an old file is kept under a second name (keepAs, counted as a copy), then the new file
// moves over it (a replacement). A move over a kept old file that is refused (70) is tried
// again with the old file moved aside, so those moves fail here as a lost share would (57).
constexpr int kDenied = err::kPermissionDenied;
constexpr int kLost = err::kDeviceIo;
const std::set<std::string> kAll = {"orvupd.txt", "ORV/ORVEN.MDB", "ORV/system/x.ocx"};
const FaultCase kFaults[] = {
    {"first old file cannot be kept", FileOp::Copy, 1, kDenied, kAll},
    {"first new file cannot move in", FileOp::Replace, 1, kLost, kAll},
    {"second old file cannot be kept", FileOp::Copy, 2, kDenied, kAll},
    {"second new file cannot move in", FileOp::Replace, 2, kLost, kAll},
    {"last new file cannot move in", FileOp::Replace, 3, kLost, kAll},
    {"second file new, cannot move in", FileOp::Replace, 2, kDenied, {"orvupd.txt"}},
    {"third file new, cannot move in", FileOp::Replace, 3, kDenied, {}},
    {"second temporary cannot be made", FileOp::CreateFile, 2, err::kDiskFull, kAll},
    {"second file held by the application", std::nullopt, 0, kDenied, kAll},
};

class FailedPlacement : public Installation, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FailedPlacement, LeavesEveryTargetWhollyOld) {
    const FaultCase& c = GetParam();
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    for (const std::string& name : c.existing) {
        box_.writeFile("ORVEN/" + name, "old " + name);
    }
    const auto before = Snapshot(box_.path("ORVEN"));

    FaultyFileSystem faulty{files_};
    if (c.failing) {
        faulty.failAt(*c.failing, c.at, c.number);
    } else {
        faulty.hold("\\ORVEN\\ORV\\ORVEN.MDB");
    }
    Zipkit zipkit{faulty};

    try {
        zipkit.UnZipEx(kArchive, kTarget, "*.*", 1, nullptr, 2, nullptr);
        ADD_FAILURE() << "a failed placement was reported as done";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), c.number) << e.description();
    }
    if (c.failing) {
        EXPECT_TRUE(faulty.faultRaised());
    }
    auto after = Snapshot(box_.path("ORVEN"));
    // Folders made on the way may stay; files may not change.
    std::erase_if(after, [&](const auto& node) {
        return node.second.contents == "<dir>" && before.count(node.first) == 0;
    });
    EXPECT_EQ(after, before);
    EXPECT_TRUE(Leftovers(box_.root()).empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedPlacement, ::testing::ValuesIn(kFaults),
                         [](const auto& testInfo) {
                             return "case" + std::to_string(testInfo.index);
                         });

// The archive cannot be read to its end: the share that holds it goes away, or another program
// locks a range of it. The call changes nothing and raises the file system's error as it was,
// its system code and what it means kept on the way through libzip.
TEST_F(Installation, AnArchiveThatCannotBeReadToTheEndChangesNothing) {
    std::string noise(1024 * 1024, '\0');
    std::uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    box_.makeDirectory("update");
    orv::testing::WriteZip(box_.path("update/orvupd.zip"), {{"A.DAT", noise}, {"B.DAT", noise}});
    box_.writeFile("ORVEN/A.DAT", "old A");
    const auto before = Snapshot(box_.path("ORVEN"));

    const RuntimeError failures[] = {
        ErrnoError(EIO),
        SystemError(err::kDeviceIo, 64), // Windows: the network name is no longer there
        HeldError(33),                   // Windows: a lock violation
        SystemError(err::kPermissionDenied, 5, Cause::Denied),
    };
    for (const RuntimeError& failure : failures) {
        FaultyFileSystem faulty{files_};
        faulty.failReadsFrom(std::filesystem::file_size(box_.path("update/orvupd.zip")) / 4,
                             failure);
        Zipkit zipkit{faulty};
        try {
            zipkit.UnZipEx(kArchive, kTarget, "*.*", 1, nullptr, 2, nullptr);
            ADD_FAILURE() << "an archive that could not be read was reported as unpacked";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), failure.number()) << error.description();
            EXPECT_EQ(error.systemCode(), failure.systemCode()) << error.description();
            EXPECT_EQ(error.cause(), failure.cause()) << error.description();
        }
        EXPECT_EQ(Snapshot(box_.path("ORVEN")), before) << failure.systemCode();
        EXPECT_TRUE(Leftovers(box_.root()).empty()) << failure.systemCode();
    }
}

struct LeftoverCase {
    const char* what;
    std::map<std::string, std::string> before; // below ORVEN
    bool placementFails;
    std::string orvupdAfter; // orvupd.txt afterwards
};

// A call that was killed leaves its temporaries beside the targets; the next call clears them,
// and puts back an old file that was moved aside when its target is missing.
const LeftoverCase kLeftovers[] = {
    {"half-written new file",
     {{"orvupd.txt", "old"}, {"orvupd.txt.orvupd-1.tmp", "15.03"}},
     false,
     "15.03.2019 3.1\r\n"},
    {"several new files",
     {{"orvupd.txt.orvupd-1.tmp", "a"}, {"orvupd.txt.orvupd-2.tmp", "b"}},
     false,
     "15.03.2019 3.1\r\n"},
    {"old file aside, target missing",
     {{"orvupd.txt.orvupd-old-1.tmp", "old"}, {"orvupd.txt.orvupd-1.tmp", "15.03.2019 3.1\r\n"}},
     false,
     "15.03.2019 3.1\r\n"},
    {"old file aside, new file in place",
     {{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"orvupd.txt.orvupd-old-1.tmp", "old"}},
     false,
     "15.03.2019 3.1\r\n"},
    {"old file aside, target missing, then the call fails",
     {{"orvupd.txt.orvupd-old-1.tmp", "old"}},
     true,
     "old"},
};

class KilledCall : public Installation, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(KilledCall, LeftoversAreClearedByTheNextCall) {
    const LeftoverCase& c = GetParam();
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    for (const auto& [name, contents] : c.before) {
        box_.writeFile("ORVEN/" + name, contents);
    }

    FaultyFileSystem faulty{files_};
    if (c.placementFails) faulty.hold("\\ORVEN\\ORV\\ORVEN.MDB");
    box_.writeFile("ORVEN/ORV/ORVEN.MDB", "old database");
    Zipkit zipkit{faulty};
    try {
        EXPECT_EQ(zipkit.UnZipEx(kArchive, kTarget, "*.*", 1, nullptr, 2, nullptr), 3);
        EXPECT_FALSE(c.placementFails) << "the held file was replaced";
    } catch (const RuntimeError& e) {
        EXPECT_TRUE(c.placementFails) << e.description();
    }
    EXPECT_EQ(testing::ReadFile(box_.path("ORVEN/orvupd.txt")), c.orvupdAfter);
    EXPECT_EQ(Leftovers(box_.root()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Leftovers, KilledCall, ::testing::ValuesIn(kLeftovers),
                         [](const auto& testInfo) {
                             return "case" + std::to_string(testInfo.index);
                         });

// One component makes every call of a run. Whatever happens to the archive between two calls,
// the second one finds what a component that never saw the archive before finds, and no call
// leaves the archive open (Windows could then neither rename nor replace it).
struct LaterCallCase {
    const char* what;
    const char* first; // the archive of the first call
    // What happens between the calls: another archive copied in (name), the archive's bytes
    // changed (from -> to), entries removed by the component (mask), the archive deleted.
    const char* copied = nullptr;
    std::pair<const char*, const char*> patched{};
    std::vector<const char*> removed{};
    bool deleted = false;
};

// Descriptors of this process that name the file.
int OpenDescriptorsOf(const std::string& path) {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == path) ++count;
    }
    return count;
}

TEST_F(Installation, EachCallSeesTheArchiveAsItIsNow) {
    const std::pair<const char*, const char*> kDamaged{"checksum protects this",
                                                       "checksum protects THIS"};
    const std::pair<const char*, const char*> kMended{kDamaged.second, kDamaged.first};
    const LaterCallCase cases[] = {
        {"nothing", "py_deflated.zip"},
        {"another archive", "py_deflated.zip", "py_stored.zip"},
        {"a bigger archive", "py_stored.zip", "py_zip64.zip"},
        {"a row removed", "py_deflated.zip", nullptr, {}, {"*.OCX"}},
        {"rows removed to the end", "py_deflated.zip", nullptr, {}, {"*.OCX", "*.*"}},
        {"a row removed, then the archive put back",
         "py_deflated.zip",
         "py_deflated.zip",
         {},
         {"*orvupd.txt"}},
        {"data changed, not the directory", "bad_crc.zip", nullptr, kMended},
        {"data damaged, not the directory", "bad_crc.zip", nullptr, kDamaged, {}},
        {"no archive any more", "py_deflated.zip", "truncated.zip"},
        {"deleted", "py_deflated.zip", nullptr, {}, {}, true},
    };
    const std::string archive = box_.path("update/orvupd.zip");
    const auto patch = [&](std::pair<const char*, const char*> change) {
        std::string bytes = testing::ReadFile(archive);
        const std::size_t at = bytes.find(change.first);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, std::string(change.first).size(), change.second);
        box_.writeFile("update/orvupd.zip", bytes);
    };
    // The call's outcome: the files it wrote, or its error.
    const auto outcome = [&](Zipkit& zipkit, const std::string& folder) {
        try {
            const std::int32_t count =
                zipkit.UnZipEx(kArchive, "\\" + folder + "\\", "*.*", 1, nullptr, 2, nullptr);
            std::string names;
            for (const std::string& name : zipkit.entriesOf(kArchive).names) {
                names += name + "|";
            }
            return std::to_string(count) + " " + names;
        } catch (const RuntimeError& error) {
            return error.description();
        }
    };
    for (const LaterCallCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(box_.path("update"));
        for (const char* folder : {"FIRST", "KEPT", "FRESH"}) {
            std::filesystem::remove_all(box_.path(folder));
            box_.makeDirectory(folder);
        }
        Zipkit kept{files_};
        ASSERT_TRUE(useArchive(c.first));
        // An archive that the change damages is whole for the first call.
        if (c.patched == kDamaged) patch(kMended);
        outcome(kept, "FIRST");
        if (c.copied != nullptr) {
            ASSERT_TRUE(useArchive(c.copied));
        }
        if (c.patched.first != nullptr) patch(c.patched);
        for (const char* mask : c.removed) {
            kept.ZipDeleteFile(kArchive, mask, nullptr);
        }
        if (c.deleted) std::filesystem::remove(archive);

        Zipkit fresh{files_};
        const std::string seen = outcome(kept, "KEPT");
        EXPECT_EQ(seen, outcome(fresh, "FRESH"));
        EXPECT_EQ(Contents(box_.path("KEPT")), Contents(box_.path("FRESH")));
        EXPECT_EQ(OpenDescriptorsOf(archive), 0);
    }
}

TEST_F(Installation, WithoutATargetNoProgressIsWritten) {
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    EXPECT_EQ(extract("*.*", nullptr), 3);
}

TEST_F(Installation, ProgressRisesWithTheBytesWritten) {
    ASSERT_TRUE(useArchive("py_deflated.zip"));
    RecordingProgress progress;
    EXPECT_EQ(extract("*.*", &progress), 3);
    EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));
    EXPECT_GT(progress.texts.size(), 5u) << "the bar should move while large files unpack";

    RecordingProgress nothing;
    EXPECT_EQ(extract("*.NIX", &nothing), 0);
    EXPECT_EQ(nothing.texts, (std::vector<std::string>{"0", "100"}));
}

// Moving many files into place changes no percentage; the window must still get its turns.
TEST_F(Installation, ManyFilesLetTheWindowAnswerWhileTheyAreMovedIntoPlace) {
    std::vector<orv::testing::ZipEntry> entries;
    for (int i = 0; i < 100; ++i) {
        entries.push_back({"DATEI" + std::to_string(i) + ".TXT", std::string(10, 'x')});
    }
    box_.makeDirectory("update");
    orv::testing::WriteZip(box_.path("update/orvupd.zip"), entries);
    RecordingProgress progress;
    EXPECT_EQ(extract("*.*", &progress), 100);
    EXPECT_GE(progress.quietCalls, 100 / 16);
    EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));
}

} // namespace
} // namespace orv::zipkit
