#include "win32/paths.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

// One rule for Windows path strings, applied to one path.
struct PathCase {
    const char* what;
    std::u16string (*rule)(std::u16string_view);
    std::u16string_view input;
    std::u16string_view expected;
};

// The directory of a file: the file name cut.
const PathCase kDirectoryOf[] = {
    {"installed updater", DirectoryOf, u"C:\\ORVEN32\\UPDATE\\orvupd.exe", u"C:\\ORVEN32\\UPDATE"},
    {"drive root keeps its separator", DirectoryOf, u"C:\\orvupd.exe", u"C:\\"},
    {"network share", DirectoryOf, u"\\\\server\\share\\UPDATE\\orvupd.exe",
     u"\\\\server\\share\\UPDATE"},
    {"long form of a drive root", DirectoryOf, u"\\\\?\\D:\\orvupd.exe", u"\\\\?\\D:\\"},
    {"long form", DirectoryOf, u"\\\\?\\D:\\ORVEN32\\UPDATE\\orvupd.exe",
     u"\\\\?\\D:\\ORVEN32\\UPDATE"},
    {"no directory at all", DirectoryOf, u"orvupd.exe", u""},
};

// The long form: full paths only.
const PathCase kWithLongPathPrefix[] = {
    {"drive path", WithLongPathPrefix, u"C:\\ORVEN32\\orv\\orven32.exe",
     u"\\\\?\\C:\\ORVEN32\\orv\\orven32.exe"},
    {"lower-case drive", WithLongPathPrefix, u"d:\\x", u"\\\\?\\d:\\x"},
    {"network path", WithLongPathPrefix, u"\\\\server\\share\\ORVEN32",
     u"\\\\?\\UNC\\server\\share\\ORVEN32"},
    {"already long", WithLongPathPrefix, u"\\\\?\\C:\\ORVEN32", u"\\\\?\\C:\\ORVEN32"},
    {"already long network path", WithLongPathPrefix, u"\\\\?\\UNC\\server\\share",
     u"\\\\?\\UNC\\server\\share"},
    {"device path", WithLongPathPrefix, u"\\\\.\\C:\\ORVEN32", u"\\\\.\\C:\\ORVEN32"},
    {"rooted without a drive", WithLongPathPrefix, u"\\ORVEN32\\orv", u"\\ORVEN32\\orv"},
    {"relative to a drive's directory", WithLongPathPrefix, u"C:ORVEN32", u"C:ORVEN32"},
    {"relative", WithLongPathPrefix, u"orv\\orven32.exe", u"orv\\orven32.exe"},
};

// The updater's own path, as the system may hand it back, in the form the user knows.
const PathCase kPlainFormOf[] = {
    {"network path", PlainFormOf, u"\\\\?\\UNC\\fileserver\\orven\\ORVEN32\\UPDATE\\orvupd.exe",
     u"\\\\fileserver\\orven\\ORVEN32\\UPDATE\\orvupd.exe"},
    {"network path in lower case", PlainFormOf, u"\\\\?\\unc\\server\\share", u"\\\\server\\share"},
    {"network path in the system's own form", PlainFormOf, u"\\??\\UNC\\server\\share\\UPDATE",
     u"\\\\server\\share\\UPDATE"},
    {"network path as Wine names a program on a share", PlainFormOf,
     u"UNC\\fileserver\\orven\\orvupd.exe", u"\\\\fileserver\\orven\\orvupd.exe"},
    {"drive path", PlainFormOf, u"\\\\?\\D:\\ORVEN32\\UPDATE", u"D:\\ORVEN32\\UPDATE"},
    {"plain network path", PlainFormOf, u"\\\\server\\share\\UPDATE", u"\\\\server\\share\\UPDATE"},
    {"plain drive path", PlainFormOf, u"C:\\ORVEN32", u"C:\\ORVEN32"},
    {"a volume by its name stays", PlainFormOf, u"\\\\?\\Volume{1234}\\ORVEN32",
     u"\\\\?\\Volume{1234}\\ORVEN32"},
    {"a server named like the prefix", PlainFormOf, u"\\\\?\\UNCLE\\x", u"\\\\?\\UNCLE\\x"},
};

// The drive that the note on too little space names.
const PathCase kDriveOf[] = {
    {"drive", DriveOf, u"E:\\ORVEN32\\update", u"E:"},
    {"share", DriveOf, u"\\\\fileserver\\orven\\ORVDATA\\Daten", u"\\\\fileserver\\orven"},
    {"share in the long form", DriveOf, u"\\\\?\\UNC\\fileserver\\orven\\tief",
     u"\\\\fileserver\\orven"},
    {"drive in the long form", DriveOf, u"\\\\?\\D:\\tief", u"D:"},
    {"the share itself", DriveOf, u"\\\\fileserver\\orven", u"\\\\fileserver\\orven"},
    {"rooted without a drive", DriveOf, u"\\ORVEN32", u""},
};

class PathRuleTest : public testing::TestWithParam<PathCase> {};

TEST_P(PathRuleTest, GivesTheExpectedPath) {
    const PathCase& c = GetParam();
    EXPECT_TRUE(c.rule(c.input) == c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(DirectoryOf, PathRuleTest, testing::ValuesIn(kDirectoryOf));
INSTANTIATE_TEST_SUITE_P(LongForm, PathRuleTest, testing::ValuesIn(kWithLongPathPrefix));
INSTANTIATE_TEST_SUITE_P(PlainForm, PathRuleTest, testing::ValuesIn(kPlainFormOf));
INSTANTIATE_TEST_SUITE_P(Drive, PathRuleTest, testing::ValuesIn(kDriveOf));

} // namespace
} // namespace orv::win32
