#include "win32/units.h"

#include <cmath>
#include <limits>

namespace orv::win32 {
namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;

} // namespace

int TwipsToPixels(float twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

float PixelsToTwips(int pixels, int dpi) {
    return static_cast<float>(static_cast<double>(pixels) * kTwipsPerInch / dpi);
}

std::int64_t UnixSecondsToFileTime(std::int64_t unixSeconds) {
    constexpr std::int64_t kLastSecond = std::numeric_limits<std::int64_t>::max() / kTicksPerSecond;
    if (unixSeconds < -kSecondsFrom1601To1970) return 0;
    if (unixSeconds > kLastSecond - kSecondsFrom1601To1970) return kLastSecond * kTicksPerSecond;
    return (unixSeconds + kSecondsFrom1601To1970) * kTicksPerSecond;
}

} // namespace orv::win32
