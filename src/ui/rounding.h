#pragma once

#include <cmath>

namespace orv::ui {

// Rounds to the nearest whole number, halves to the even neighbour (12.5 -> 12, 13.5 -> 14).
inline double RoundHalfEven(double x) {
    const double whole = std::trunc(x);
    if (std::fabs(x - whole) == 0.5) return 2.0 * std::round(x / 2.0);
    return std::round(x);
}

} // namespace orv::ui
