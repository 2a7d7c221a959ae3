// The progress bar as the user sees it: the channel text's number, the bar and its label.

#include <gtest/gtest.h>

#include <limits>

#include "support/recording_surface.h"
#include "ui/draw_progress.h"
#include "ui/progress_channel.h"

namespace orv {
namespace {

using testing::RecordingSurface;

constexpr unsigned long kBlue = 0xC00000;
constexpr unsigned long kWhite = 0xFFFFFF;
constexpr unsigned long kBlack = 0x000000;

struct ChannelCase {
    const char* text;
    std::int32_t value;
};

TEST(ProgressChannel, TakesTheLeadingNumberRoundedHalfToEven) {
    const std::string huge(500, '9');
    const ChannelCase kCases[] = {
        {"45", 45},
        {"45 %", 45},
        {"45,7", 45},
        {"  7", 7},
        {"", 0},
        {"abc", 0},
        {"-3", -3},
        {"+12", 12},
        {"0", 0},
        {"100", 100},
        {"150", 150},
        {"12.5", 12},
        {"13.5", 14},
        {"-12.5", -12},
        {"99.9", 100},
        {".5", 0},
        {"1.5x", 2},
        {"99999999999999999999999", std::numeric_limits<std::int32_t>::max()},
        {"-99999999999999999999999", std::numeric_limits<std::int32_t>::min()},
        {huge.c_str(), std::numeric_limits<std::int32_t>::max()},
    };
    for (const ChannelCase& c : kCases) {
        EXPECT_EQ(ui::ChannelValue(c.text), c.value) << "channel text \"" << c.text << "\"";
    }
}

struct PictureCase {
    const char* channel;
    float barEnd; // -1: no bar
    const char* label;
    unsigned long labelColor;
};

TEST(ProgressChannel, DrawsTheBarAndItsCentredLabel) {
    // 4116 twips wide: each per cent is 41.16 twips; a label is 90 twips a character.
    const PictureCase kCases[] = {
        {"1", 41, "1 %", kBlack},     // the label starts far right of the bar's end
        {"45", 1852, "45 %", kBlack}, // the bar (1852) ends left of the label (1878)
        {"46", 1893, "46 %", kWhite}, // the bar has reached the label: all of it white
        {"50", 2058, "50 %", kWhite},   {"100", 4116, "100 %", kWhite},
        {"150", 4116, "100 %", kWhite}, {"45 %", 1852, "45 %", kBlack},
        {"", -1, "", kBlack},           {"0", -1, "", kBlack},
        {"-3", -1, "", kBlack},
    };
    for (const PictureCase& c : kCases) {
        RecordingSurface surface;
        ui::ReactToStatusText(c.channel, surface);
        const auto& picture = surface.picture();
        SCOPED_TRACE(std::string("channel text \"") + c.channel + "\"");
        EXPECT_EQ(picture.barEnd, c.barEnd);
        EXPECT_EQ(picture.text, c.label);
        if (picture.barEnd >= 0) {
            EXPECT_EQ(picture.barColor, kBlue);
            EXPECT_EQ(picture.textColor, c.labelColor);
            const float labelWidth =
                RecordingSurface::kCharWidth * static_cast<float>(picture.text.size());
            EXPECT_EQ(picture.textX, (4116 - labelWidth) / 2);
            EXPECT_EQ(picture.textY, (165 - RecordingSurface::kTextHeight) / 2);
        }
    }
}

struct DrawCase {
    const char* name;
    float width;
    std::int32_t value, lower, upper;
    bool withText;
    float barEnd;
    const char* label;
};

TEST(DrawProgress, FollowsTheBoundsAndRounding) {
    const DrawCase kCases[] = {
        {"value above the range drawn as full", 4116, 250, 0, 100, true, 4116, "100 %"},
        {"upper bound 3, a third", 4116, 1, 0, 3, true, 1358, "33 %"},
        {"upper bound 3, two thirds", 4116, 2, 0, 3, true, 2758, "67 %"},
        {"percentage rounds half up", 4116, 1, 0, 8, true, 535, "13 %"},
        {"bar width rounds half to even (2.5)", 250, 1, 0, 100, true, 2, "1 %"},
        {"bar width rounds half to even (3.5)", 350, 1, 0, 100, true, 4, "1 %"},
        {"upper bound 0 only clears", 4116, 5, 0, 0, true, -1, ""},
        {"negative upper bound only clears", 4116, 5, 0, -10, true, -1, ""},
        {"crossed bounds: the upper one wins", 4116, 5, 10, 3, true, 4116, "100 %"},
        {"lower bound takes no part in the share", 4116, 60, 50, 100, true, 2470, "60 %"},
        {"without text only the bar", 4116, 50, 0, 100, false, 2058, ""},
    };
    for (const DrawCase& c : kCases) {
        RecordingSurface surface{c.width, 165};
        ui::DrawProgress(surface, c.value, c.lower, c.upper, c.withText);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(surface.picture().barEnd, c.barEnd);
        EXPECT_EQ(surface.picture().text, c.label);
        EXPECT_TRUE(surface.AutoRedraw());
    }
}

TEST(DrawProgress, WithoutTextLeavesTheForeColourAlone) {
    RecordingSurface surface;
    ui::DrawProgress(surface, 50, 0, 100, false);
    const std::vector<std::string> expected{"AutoRedraw=1", "Cls", "Line 0,0-2058,165 C00000"};
    EXPECT_EQ(surface.operations(), expected);
}

TEST(DrawProgress, SetsAutoRedrawOnlyWhenOffAndAlwaysClears) {
    RecordingSurface surface;
    surface.SetAutoRedraw(true);
    ui::DrawProgress(surface, 0, 0, 100, true);
    const std::vector<std::string> expected{"AutoRedraw=1", "Cls"};
    EXPECT_EQ(surface.operations(), expected);
}

TEST(DrawProgress, CentresTheLabelBeforeChoosingItsColour) {
    RecordingSurface surface;
    ui::DrawProgress(surface, 100, 0, 100, true);
    const std::vector<std::string> expected{
        "AutoRedraw=1",  "Cls",          "Line 0,0-4116,165 C00000",
        "CurrentX=1833", "CurrentY=-15", "ForeColor=FFFFFF",
        "Print 100 %"};
    EXPECT_EQ(surface.operations(), expected);
}

} // namespace
} // namespace orv
