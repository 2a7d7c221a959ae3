#pragma once
// The percentage of a call's work, written as decimal text into the progress target.

#include <cstdint>

#include "platform/windows.h"

namespace orv::zipkit {

// Writes "0" first, then each new whole percentage as the work advances, and "100" when the
// call has succeeded (the work itself counts up to 99 at most, so a call that fails after its
// last byte never shows "100"): at most 101 texts per call, never going back. Writes nothing
// without a target.
class PercentProgress {
  public:
    explicit PercentProgress(ProgressTarget* target) : target_(target) {}

    void start() { show(0); }
    // done of total units (total 0 counts as nothing done yet).
    void advance(std::uint64_t done, std::uint64_t total);
    void finish() { show(100); }
    // Long work that moves no percentage on: the target's window may answer meanwhile.
    void stillWorking() {
        if (target_ != nullptr) target_->stillWorking();
    }

  private:
    void show(int percent);

    ProgressTarget* target_;
    int shown_ = -1;
};

} // namespace orv::zipkit
