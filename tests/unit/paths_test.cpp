#include "platform/paths.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orv {
namespace {

struct FolderCase {
    const char* targetDir;
    const char* archive;
    const char* folder;
};

const FolderCase kFolders[] = {
    {"C:\\ORVEN\\", "C:\\ORVEN\\update\\orvupd.zip", "C:\\ORVEN\\"},
    {"D:\\Daten\\", "C:\\ORVEN\\update\\orvupd.zip", "D:\\Daten\\"},
    {"C:\\ORVEN", "C:\\ORVEN\\update\\orvupd.zip", "C:\\ORVEN\\"},
    {"C:\\ORVEN\\\\", "C:\\ORVEN\\update\\orvupd.zip", "C:\\ORVEN\\"},
    // "\" alone: the root of the archive's drive.
    {"\\", "C:\\ORVEN\\update\\orvupd.zip", "C:\\"},
    {"\\", "d:/x/orvupd.zip", "d:\\"},
    {"\\", "\\\\server\\share\\ORVEN\\update\\orvupd.zip", "\\\\server\\share\\"},
    {"\\", "\\\\server\\share", "\\\\server\\share\\"},
    {"\\", "\\ORVEN\\update\\orvupd.zip", "\\"},
    {"\\", "/srv/orven/update/orvupd.zip", "\\"},
    {"\\", "orvupd.zip", "\\"},
    {"", "C:\\ORVEN\\update\\orvupd.zip", "C:\\"},
    {"\\\\", "C:\\ORVEN\\update\\orvupd.zip", "C:\\"},
};

TEST(TargetFolder, EndsInOneSeparatorAndFindsTheDriveRoot) {
    for (const FolderCase& c : kFolders) {
        EXPECT_EQ(TargetFolder(c.targetDir, c.archive), c.folder)
            << c.targetDir << " for " << c.archive;
    }
}

TEST(DriveOf, NamesTheDriveOrShareAsTheUserKnowsIt) {
    const struct {
        const char* path;
        const char* drive;
    } cases[] = {
        {"E:\\ORVEN32\\update", "E:"},
        {"e:", "e:"},
        {"\\\\fileserver\\orven\\ORVDATA\\Daten", "\\\\fileserver\\orven"},
        {"//fileserver/orven/x", "//fileserver/orven"},
        {"\\\\fileserver\\orven", "\\\\fileserver\\orven"},
        {"\\\\fileserver\\", "\\\\fileserver\\"},
        {"\\\\?\\D:\\x", ""}, // a device form names no drive of its own
        {"\\\\.\\pipe\\x", ""},
        {"\\ORVEN32", ""},
        {"/srv/orven", ""},
        {"ORVEN32\\orv", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DriveOf(std::string_view(c.path)), c.drive) << c.path;
    }
}

struct LevelCase {
    const char* folder;
    std::vector<std::string> levels;
};

TEST(FolderLevels, StartBelowTheRoot) {
    const LevelCase cases[] = {
        {"C:\\a\\b\\", {"C:\\a", "C:\\a\\b"}},
        {"C:\\a\\b", {"C:\\a", "C:\\a\\b"}},
        {"C:\\", {}},
        {"C:", {}},
        {"\\\\srv\\share\\a\\b", {"\\\\srv\\share\\a", "\\\\srv\\share\\a\\b"}},
        {"\\\\srv\\share\\", {}},
        {"\\ORVEN\\orv", {"\\ORVEN", "\\ORVEN\\orv"}},
        {"\\", {}},
        {"", {}},
        {"/tmp/x\\y", {"/tmp", "/tmp/x", "/tmp/x\\y"}},
        {"\\a\\\\b\\", {"\\a", "\\a\\\\b"}},
        {"rel\\a", {"rel", "rel\\a"}},
    };
    for (const LevelCase& c : cases) {
        EXPECT_EQ(FolderLevels(c.folder), c.levels) << c.folder;
    }
}

struct SameFileCase {
    const char* a;
    const char* b;
    bool same;
};

const SameFileCase kSameFile[] = {
    {"Readme.txt", "README.TXT", true}, {"dir/a", "DIR\\A", true},
    {"Grüße.txt", "GRÜßE.TXT", true},   {"Grüße.txt", "GRÜSSE.TXT", false},
    {"a.txt", "a.txt ", false},         {"\xFF", "\xDF", false},
};

TEST(FoldedPath, TellsWhichPathsNameTheSameFile) {
    for (const SameFileCase& c : kSameFile) {
        EXPECT_EQ(FoldedPath(c.a) == FoldedPath(c.b), c.same) << c.a << " vs " << c.b;
    }
}

} // namespace
} // namespace orv
