#pragma once
// Asks the status window, from a thread of its own, whether it takes messages
// (SendMessageTimeout with WM_NULL), so that the driver's main loop never waits for a busy
// program and misses a window that is up for a moment only.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace orv::e2e {

class ResponsivenessWatch {
  public:
    struct Lapse {
        bool duringProgress; // the progress frame was shown when the question went out
    };

    ResponsivenessWatch();
    ResponsivenessWatch(const ResponsivenessWatch&) = delete;
    ResponsivenessWatch& operator=(const ResponsivenessWatch&) = delete;

    // The window to ask from now on (nullptr: none), and whether it shows progress.
    void watch(HWND window, bool progressShown);
    // The lapses since the last call.
    std::vector<Lapse> takeLapses();
    int answered() const { return answered_; }

  private:
    void run(const std::stop_token& stop);

    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> progressShown_{false};
    std::atomic<int> answered_{0};
    std::mutex lapsesMutex_;
    std::vector<Lapse> lapses_;
    std::jthread thread_; // last: starts when everything above is ready, stops first
};

} // namespace orv::e2e
