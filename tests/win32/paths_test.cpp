#include "win32/paths.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

struct PathCase {
    const char* what;
    std::u16string_view input;
    std::u16string_view expected;
};

const PathCase kDirectoryCases[] = {
    {"installed updater", u"C:\\ORVEN32\\UPDATE\\orvupd.exe", u"C:\\ORVEN32\\UPDATE"},
    {"drive root keeps its separator", u"C:\\orvupd.exe", u"C:\\"},
    {"network share", u"\\\\server\\share\\UPDATE\\orvupd.exe", u"\\\\server\\share\\UPDATE"},
    {"long form of a drive root", u"\\\\?\\D:\\orvupd.exe", u"\\\\?\\D:\\"},
    {"long form", u"\\\\?\\D:\\ORVEN32\\UPDATE\\orvupd.exe", u"\\\\?\\D:\\ORVEN32\\UPDATE"},
    {"no directory at all", u"orvupd.exe", u""},
};

class DirectoryOfTest : public testing::TestWithParam<PathCase> {};

TEST_P(DirectoryOfTest, CutsTheFileName) {
    const PathCase& c = GetParam();
    EXPECT_TRUE(DirectoryOf(c.input) == c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, DirectoryOfTest, testing::ValuesIn(kDirectoryCases));

const PathCase kLongFormCases[] = {
    {"drive path", u"C:\\ORVEN32\\orv\\orven32.exe", u"\\\\?\\C:\\ORVEN32\\orv\\orven32.exe"},
    {"lower-case drive", u"d:\\x", u"\\\\?\\d:\\x"},
    {"network path", u"\\\\server\\share\\ORVEN32", u"\\\\?\\UNC\\server\\share\\ORVEN32"},
    {"already long", u"\\\\?\\C:\\ORVEN32", u"\\\\?\\C:\\ORVEN32"},
    {"already long network path", u"\\\\?\\UNC\\server\\share", u"\\\\?\\UNC\\server\\share"},
    {"device path", u"\\\\.\\C:\\ORVEN32", u"\\\\.\\C:\\ORVEN32"},
    {"rooted without a drive", u"\\ORVEN32\\orv", u"\\ORVEN32\\orv"},
    {"relative to a drive's directory", u"C:ORVEN32", u"C:ORVEN32"},
    {"relative", u"orv\\orven32.exe", u"orv\\orven32.exe"},
};

class LongPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(LongPathTest, PrefixesFullPathsOnly) {
    const PathCase& c = GetParam();
    EXPECT_TRUE(WithLongPathPrefix(c.input) == c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, LongPathTest, testing::ValuesIn(kLongFormCases));

// The updater's own path, as the system may hand it back, in the form the user knows.
const PathCase kPlainFormCases[] = {
    {"network path", u"\\\\?\\UNC\\fileserver\\orven\\ORVEN32\\UPDATE\\orvupd.exe",
     u"\\\\fileserver\\orven\\ORVEN32\\UPDATE\\orvupd.exe"},
    {"network path in lower case", u"\\\\?\\unc\\server\\share", u"\\\\server\\share"},
    {"network path in the system's own form", u"\\??\\UNC\\server\\share\\UPDATE",
     u"\\\\server\\share\\UPDATE"},
    {"network path as Wine names a program on a share", u"UNC\\fileserver\\orven\\orvupd.exe",
     u"\\\\fileserver\\orven\\orvupd.exe"},
    {"drive path", u"\\\\?\\D:\\ORVEN32\\UPDATE", u"D:\\ORVEN32\\UPDATE"},
    {"plain network path", u"\\\\server\\share\\UPDATE", u"\\\\server\\share\\UPDATE"},
    {"plain drive path", u"C:\\ORVEN32", u"C:\\ORVEN32"},
    {"a volume by its name stays", u"\\\\?\\Volume{1234}\\ORVEN32",
     u"\\\\?\\Volume{1234}\\ORVEN32"},
    {"a server named like the prefix", u"\\\\?\\UNCLE\\x", u"\\\\?\\UNCLE\\x"},
};

class PlainPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(PlainPathTest, TurnsTheLongFormBack) {
    const PathCase& c = GetParam();
    EXPECT_TRUE(PlainFormOf(c.input) == c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, PlainPathTest, testing::ValuesIn(kPlainFormCases));

// The drive that the note on too little space names.
const PathCase kDriveCases[] = {
    {"drive", u"E:\\ORVEN32\\update", u"E:"},
    {"share", u"\\\\fileserver\\orven\\ORVDATA\\Daten", u"\\\\fileserver\\orven"},
    {"share in the long form", u"\\\\?\\UNC\\fileserver\\orven\\tief", u"\\\\fileserver\\orven"},
    {"drive in the long form", u"\\\\?\\D:\\tief", u"D:"},
    {"the share itself", u"\\\\fileserver\\orven", u"\\\\fileserver\\orven"},
    {"rooted without a drive", u"\\ORVEN32", u""},
};

class DriveTest : public testing::TestWithParam<PathCase> {};

TEST_P(DriveTest, NamesTheDriveOrShare) {
    const PathCase& c = GetParam();
    EXPECT_TRUE(DriveOf(c.input) == c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, DriveTest, testing::ValuesIn(kDriveCases));

} // namespace
} // namespace orv::win32
