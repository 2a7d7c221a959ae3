#include "archive/zipkit/progress.h"

#include <algorithm>
#include <string>

namespace orv::zipkit {
namespace {

constexpr int kLastBeforeDone = 99;

} // namespace

void PercentProgress::advance(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    const std::uint64_t capped = std::min(done, total);
    // Split so that no product comes near overflow for any archive size there is.
    const std::uint64_t percent = capped / total * 100 + capped % total * 100 / total;
    show(std::min(static_cast<int>(percent), kLastBeforeDone));
}

void PercentProgress::advance(double fraction) {
    const double clamped = fraction >= 0.0 ? std::min(fraction, 1.0) : 0.0; // also NaN
    show(std::min(static_cast<int>(clamped * 100.0), kLastBeforeDone));
}

void PercentProgress::show(int percent) {
    if (target_ == nullptr || percent <= shown_) return;
    shown_ = std::min(percent, 100);
    target_->setText(std::to_string(shown_));
}

} // namespace orv::zipkit
