#include "archive/entry_path.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

struct NameCase {
    const char* stored;
    bool safe;
};

const NameCase kNames[] = {
    // Ordinary names, also with folders, umlauts and dots inside.
    {"a.txt", true},
    {"dir/sub/file.bin", true},
    {"dir\\sub\\file.bin", true},
    {"dir/", true},
    {"Größe/Übersicht.txt", true},
    {"a..b", true},
    {".hidden", true},
    {"x.y.z", true},
    {" leading blank", true},
    {"console.txt", true},
    {"COM10", true},
    {"LPT", true},
    {"COMx.txt", true},
    {"auxiliary/nullable.txt", true},
    // Leaving the target: absolute, rooted, drive, UNC, parent folders.
    {"", false},
    {"/", false},
    {"/x", false},
    {"\\x", false},
    {"\\\\server\\share\\x", false},
    {"//server/share/x", false},
    {"C:\\x", false},
    {"C:x", false},
    {"c:/x", false},
    {"..", false},
    {"../x", false},
    {"..\\x", false},
    {"a/../b", false},
    {"a/..", false},
    {"../d/", false},
    {".", false},
    {"./x", false},
    // Names that Windows reads differently.
    {"a.txt:stream", false},
    {"x.", false},
    {"x ", false},
    {"dir./x", false},
    {"dir /x", false},
    {"a//b", false},
    {"a\\\\b", false},
    {"dir//", false},
    {"a<b", false},
    {"a>b", false},
    {"a|b", false},
    {"a\"b", false},
    {"a?b", false},
    {"a*b", false},
    // Control characters and bytes that are not UTF-8.
    {"a\x01"
     "b",
     false},
    {"a\tb", false},
    {"a\x7F", false},
    {"\xFF.txt", false},
    {"\xC3", false},
    // Device names, in any case, with or without extension, anywhere in the path.
    {"CON", false},
    {"con", false},
    {"con.txt", false},
    {"CON .txt", false},
    {"sub/aux", false},
    {"a/nul.tar.gz", false},
    {"PRN.log", false},
    {"com1", false},
    {"COM9.dll", false},
    {"lpt3", false},
    {"COM0", false},
    {"COM\xC2\xB9", false},
    {"CONIN$", false},
    {"conout$.txt", false},
};

class EntryNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNames, AreJudged) {
    EXPECT_EQ(IsSafeEntryPath(GetParam().stored), GetParam().safe) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(All, EntryNames, ::testing::ValuesIn(kNames));

struct RewriteCase {
    const char* stored;
    bool folder;
    const char* relative;
    const char* printable;
};

const RewriteCase kRewrites[] = {
    {"a.txt", false, "a.txt", "a.txt"},
    {"dir/sub/", true, "dir\\sub", "dir/sub/"},
    {"dir\\sub\\", true, "dir\\sub", "dir\\sub\\"},
    {"ORV/system/x.ocx", false, "ORV\\system\\x.ocx", "ORV/system/x.ocx"},
    {"Größe/a", false, "Größe\\a", "Größe/a"},
    {"a\x01"
     "b\r\n",
     false,
     "a\x01"
     "b\r\n",
     "a?b??"},
    {"\xFF\xC3x", false, "\xFF\xC3x", "??x"},
    {"", false, "", "(leer)"},
};

TEST(EntryPaths, BecomeWindowsPathsAndPrintableNames) {
    for (const RewriteCase& c : kRewrites) {
        EXPECT_EQ(IsFolderEntry(c.stored), c.folder) << c.stored;
        EXPECT_EQ(WindowsRelativePath(c.stored), c.relative) << c.stored;
        EXPECT_EQ(PrintableName(c.stored), c.printable) << c.stored;
    }
}

} // namespace
} // namespace orv
