// Removing entries from the update archive in place.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"
#include "test_support.h"

namespace orv::zipkit {
namespace {

using testing::RecordingProgress;

constexpr const char* kArchive = "\\update\\orvupd.zip";

class Removal : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto archives = testing::GeneratedArchives();
        if (!archives) GTEST_SKIP() << "no test archives: python3 was missing at build time";
        archives_ = *archives;
    }

    void useArchive(const std::string& name) {
        testing::CopyFile(archives_ + "/" + name, archive());
    }
    std::string archive() const { return box_.path("update/orvupd.zip"); }

    std::vector<std::string> namesByLibzip() const { return testing::NamesByLibzip(archive()); }

    void expectReadableWith(const std::vector<std::string>& names) {
        testing::ExpectEveryReaderFinds(archive(), names);
    }

    std::string archives_;
    testing::Sandbox box_;
    posix::PosixFileSystem files_{box_.root()};
    Zipkit zipkit_{files_};
};

struct RemovalCase {
    const char* mask;
    std::vector<std::string> remaining;
};

// remove.zip: orvupd.txt, ORVEN.MDB, system/, system/a.ocx, system/B.OCX, lib/c.dll.
const RemovalCase kRemovals[] = {
    {"*orvupd.txt", {"ORVEN.MDB", "system/", "system/a.ocx", "system/B.OCX", "lib/c.dll"}},
    {"orven.mdb", {"orvupd.txt", "system/", "system/a.ocx", "system/B.OCX", "lib/c.dll"}},
    {"*.OCX", {"orvupd.txt", "ORVEN.MDB", "system/", "lib/c.dll"}},
    {"system", {"orvupd.txt", "ORVEN.MDB", "system/a.ocx", "system/B.OCX", "lib/c.dll"}},
    {"SYSTEM*", {"orvupd.txt", "ORVEN.MDB", "lib/c.dll"}},
    {"lib\\c.dll", {"orvupd.txt", "ORVEN.MDB", "system/", "system/a.ocx", "system/B.OCX"}},
    {"*.*", {}},
    {"*", {}},
};

class RemovalMasks : public Removal, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovalMasks, LeaveAValidArchiveWithTheRestIntact) {
    useArchive("remove.zip");
    const auto before = testing::ReadWithLibzip(archive());

    RecordingProgress progress;
    zipkit_.ZipDeleteFile(kArchive, GetParam().mask, &progress);

    expectReadableWith(GetParam().remaining);
    for (const auto& entry : testing::ReadWithLibzip(archive())) {
        const auto old = std::find_if(before.begin(), before.end(),
                                      [&](const auto& e) { return e.name == entry.name; });
        ASSERT_NE(old, before.end());
        EXPECT_EQ(entry.contents, old->contents) << entry.name;
    }
    EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));
    EXPECT_TRUE(testing::Leftovers(box_.root()).empty());
}

INSTANTIATE_TEST_SUITE_P(Masks, RemovalMasks, ::testing::ValuesIn(kRemovals),
                         [](const auto& testInfo) {
                             return "mask" + std::to_string(testInfo.index);
                         });

TEST_F(Removal, RemovingTheLastEntryKeepsAnEmptyArchive) {
    for (const char* name : {"single.zip", "remove.zip"}) {
        useArchive(name);
        zipkit_.ZipDeleteFile(kArchive, "*.*", nullptr);
        ASSERT_TRUE(std::filesystem::exists(archive())) << name;
        EXPECT_EQ(testing::ReadFile(archive()),
                  std::string("PK\x05\x06", 4) + std::string(18, '\0'));
        expectReadableWith({});
    }
}

TEST_F(Removal, RemovingNothingLeavesTheFileUntouched) {
    for (const char* name : {"remove.zip", "empty.zip", "single.zip"}) {
        useArchive(name);
        testing::SetModificationSeconds(archive(), 1234567890);
        const std::string bytes = testing::ReadFile(archive());

        RecordingProgress progress;
        zipkit_.ZipDeleteFile(kArchive, "*.NIX", &progress);
        EXPECT_EQ(testing::ReadFile(archive()), bytes) << name;
        EXPECT_EQ(testing::ModificationSeconds(archive()), 1234567890) << name;
        EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));
    }
}

TEST_F(Removal, RemovingOneAfterAnotherEndsEmpty) {
    useArchive("remove.zip");
    for (const char* mask : {"*orvupd.txt", "ORVEN.MDB", "*.OCX", "*.DLL", "*.*"}) {
        RecordingProgress progress;
        zipkit_.ZipDeleteFile(kArchive, mask, &progress);
        EXPECT_TRUE(testing::IsCompleteProgress(progress.texts)) << mask;
    }
    expectReadableWith({});
}

struct BrokenCase {
    const char* archive;
    int number;
};

TEST_F(Removal, ArchivesThatCannotBeReadAreLeftAsTheyAre) {
    const BrokenCase cases[] = {
        {"truncated.zip", err::kZipNotAnArchive},
        {"zero_length.zip", err::kZipNotAnArchive},
        {"text.zip", err::kZipNotAnArchive},
        {"folder.zip", err::kZipNotAnArchive},
        {nullptr, err::kFileNotFound},
    };
    for (const BrokenCase& c : cases) {
        std::filesystem::remove_all(box_.path("update"));
        if (c.archive == nullptr) {
            box_.makeDirectory("update");
        } else if (std::string(c.archive) == "folder.zip") {
            box_.makeDirectory("update/orvupd.zip");
        } else {
            useArchive(c.archive);
        }
        const auto before = testing::Snapshot(box_.root());
        try {
            zipkit_.ZipDeleteFile(kArchive, "*.*", nullptr);
            ADD_FAILURE() << (c.archive ? c.archive : "missing archive") << " was changed";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.description();
            EXPECT_EQ(e.description(), ErrorText(c.number) + ": " + kArchive);
        }
        EXPECT_EQ(testing::Snapshot(box_.root()), before);
    }
}

} // namespace
} // namespace orv::zipkit
