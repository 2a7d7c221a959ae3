#include "responsiveness.h"

#include <utility>

#include "windows_probe.h"

namespace orv::e2e {
namespace {

constexpr DWORD kEveryMs = 200;
constexpr UINT kAnswerWithinMs = 1000;

} // namespace

ResponsivenessWatch::ResponsivenessWatch()
    : thread_([this](const std::stop_token& stop) { run(stop); }) {}

void ResponsivenessWatch::watch(HWND window, bool progressShown) {
    progressShown_ = progressShown;
    window_ = window;
}

std::vector<ResponsivenessWatch::Lapse> ResponsivenessWatch::takeLapses() {
    const std::lock_guard lock(lapsesMutex_);
    return std::exchange(lapses_, {});
}

void ResponsivenessWatch::run(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        Sleep(kEveryMs);
        const HWND window = window_;
        if (window == nullptr) continue;
        const bool progress = progressShown_;
        if (Responds(window, kAnswerWithinMs)) {
            ++answered_;
        } else if (IsWindow(window) && window == window_) {
            const std::lock_guard lock(lapsesMutex_);
            lapses_.push_back(Lapse{progress});
        }
    }
}

} // namespace orv::e2e
