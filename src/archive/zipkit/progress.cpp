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

// Here a percentage starts on its way to the bar. It leaves as decimal text ("0" .. "100") into
// the progress target, which in the updater is the status window's hidden text box `txtStatus`
// (ui::StartWindow::statusTarget()). The view then tells its StatusTextListener that the text
// changed, and the window's reaction to the change (ui::ReactToStatusText) reads the leading
// number back out of the text (ui::ChannelValue, rounded and clamped) and draws the bar for it
// into `picProgress` (ui::DrawProgress), which is refreshed. The text is the only link between
// the zip component and the bar: whatever is written here is what the bar shows.
void PercentProgress::show(int percent) {
    if (target_ == nullptr || percent <= shown_) return;
    shown_ = std::min(percent, 100);
    target_->setText(std::to_string(shown_));
}

} // namespace orv::zipkit
