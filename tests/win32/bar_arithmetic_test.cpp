// The progress bar's width as this build computes it, run under Wine in the Windows builds.

#include <gtest/gtest.h>

#include <cstdint>

#include "support/recording_surface.h"
#include "ui/draw_progress.h"

namespace orv {
namespace {

// The bar's width in this build's own arithmetic: ScaleWidth / 100 * percent in single precision,
// then rounded half to even. Extended precision (the x87 unit) draws one twip more in about one
// width and percentage pair of a thousand.
struct BarWidthCase {
    float scaleWidth;
    std::int32_t value;
    float barEnd;
};

const BarWidthCase kBarWidthCases[] = {
    {4110, 45, 1849}, {4110, 85, 3493}, {4110, 95, 3904}, // x87: 1850, 3494, 3905
    {4110, 1, 41},    {4110, 50, 2055}, {4110, 100, 4110}, {4116, 45, 1852},
};

TEST(DrawProgressArithmeticTest, ComputesTheWidthInSinglePrecision) {
    for (const BarWidthCase& c : kBarWidthCases) {
        testing::RecordingSurface surface{c.scaleWidth, 165};
        ui::DrawProgress(surface, c.value, 0, 100, false);
        EXPECT_EQ(surface.picture().barEnd, c.barEnd)
            << c.value << " % of " << c.scaleWidth << " twips";
    }
}

} // namespace
} // namespace orv
