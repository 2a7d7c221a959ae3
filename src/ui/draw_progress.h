#pragma once

#include <cstdint>

#include "platform/windows.h"

namespace orv::ui {

inline constexpr unsigned long kBarColor = 0xC00000;

// Paints a horizontal bar for value between the bounds, and optionally the percentage as
// centred text, into the surface's persistent picture.
void DrawProgress(DrawingSurface& surface, std::int32_t value, std::int32_t lowerBound,
                  std::int32_t upperBound, bool showText);

} // namespace orv::ui
