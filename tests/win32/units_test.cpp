#include "win32/units.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

struct PixelCase {
    const char* what;
    float twips;
    int dpi;
    int pixels;
};

const PixelCase kPixelCases[] = {
    {"status window width at 96 DPI", 4575, 96, 305},
    {"status window height at 96 DPI", 1215, 96, 81},
    {"status window width at 120 DPI", 4575, 120, 381},
    {"status window height at 144 DPI", 1215, 144, 122},
    {"launcher window width at 192 DPI", 4680, 192, 624},
    {"half a pixel goes up", 7.5f, 96, 1},
    {"just under half a pixel goes down", 7.4f, 96, 0},
    {"left of the screen", -15, 96, -1},
};

class TwipsToPixelsTest : public testing::TestWithParam<PixelCase> {};

TEST_P(TwipsToPixelsTest, RoundsToTheNearestPixel) {
    const PixelCase& c = GetParam();
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, TwipsToPixelsTest, testing::ValuesIn(kPixelCases));

TEST(PixelsToTwipsTest, GivesTheScaleOfADrawingArea) {
    EXPECT_FLOAT_EQ(PixelsToTwips(274, 96), 4110);
    EXPECT_FLOAT_EQ(PixelsToTwips(1024, 96), 15360);
    EXPECT_FLOAT_EQ(PixelsToTwips(411, 144), 4110);
    EXPECT_FLOAT_EQ(PixelsToTwips(1, 120), 12);
}

struct FileTimeCase {
    const char* what;
    std::int64_t unixSeconds;
    std::int64_t fileTime;
};

const FileTimeCase kFileTimeCases[] = {
    {"1970", 0, 116444736000000000},
    {"one second later", 1, 116444736010000000},
    {"15.03.2019 12:00 UTC", 1552651200, 131971248000000000},
    {"1601", -11644473600, 0},
    {"before 1601", -11644473601, 0},
    {"far before 1601", INT64_MIN, 0},
    {"past the range", INT64_MAX, INT64_MAX / 10000000 * 10000000},
};

class FileTimeTest : public testing::TestWithParam<FileTimeCase> {};

TEST_P(FileTimeTest, CountsFrom1601) {
    const FileTimeCase& c = GetParam();
    EXPECT_EQ(UnixSecondsToFileTime(c.unixSeconds), c.fileTime) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, FileTimeTest, testing::ValuesIn(kFileTimeCases));

} // namespace
} // namespace orv::win32
