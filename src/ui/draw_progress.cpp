#include "ui/draw_progress.h"

#include <cmath>
#include <string>

#include "ui/rounding.h"

namespace orv::ui {
namespace {

constexpr unsigned long kWhite = 0xFFFFFF;
constexpr unsigned long kBlack = 0x000000;

} // namespace

void DrawProgress(DrawingSurface& surface, std::int32_t value, std::int32_t lowerBound,
                  std::int32_t upperBound, bool showText) {
    // Lower bound first, so that with crossed bounds the upper one wins.
    if (value < lowerBound) value = lowerBound;
    if (value > upperBound) value = upperBound;

    if (!surface.AutoRedraw()) surface.SetAutoRedraw(true);
    surface.Cls();
    if (value <= 0) return;

    // The value's share of the upper bound, half up; the lower bound takes no part.
    const auto percent = static_cast<std::int16_t>(
        std::floor(static_cast<double>(value) / static_cast<double>(upperBound) * 100.0 + 0.5));
    const float exactWidth = surface.ScaleWidth() / 100.0f * static_cast<float>(percent);
    const auto barWidth = static_cast<std::int32_t>(RoundHalfEven(exactWidth));
    surface.LineFilledBox(0, 0, static_cast<float>(barWidth), surface.ScaleHeight(), kBarColor);

    if (!showText) return;
    const std::string label = std::to_string(percent) + " %";
    surface.SetCurrentX((surface.ScaleWidth() - surface.TextWidth(label)) / 2);
    surface.SetCurrentY((surface.ScaleHeight() - surface.TextHeight(label)) / 2);
    // One colour for the whole text: white as soon as the bar reaches its left edge.
    surface.SetForeColor(static_cast<float>(barWidth) >= surface.CurrentX() ? kWhite : kBlack);
    surface.Print(label);
}

} // namespace orv::ui
