#pragma once
// Conversions between the updater's units and the system's: twips (1440 to the inch) and
// pixels at a given DPI, Unix seconds and file times (100 ns since 1601, UTC).

#include <cstdint>

namespace orv::win32 {

inline constexpr int kTwipsPerInch = 1440;

// The nearest whole pixel.
int TwipsToPixels(float twips, int dpi);
float PixelsToTwips(int pixels, int dpi);

// Times before 1601 become 1601; times past the file-time range become its end.
std::int64_t UnixSecondsToFileTime(std::int64_t unixSeconds);

} // namespace orv::win32
