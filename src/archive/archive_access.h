#pragma once
// The updater's two routines on the contents of the update archive. Both report their own
// failures and never let one reach the caller.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "archive/zip_component.h"
#include "platform/platform.h"
#include "platform/windows.h"

namespace orv {

class ArchiveAccess {
  public:
    // Where the component writes its progress: the status window's `txtStatus`, reached only
    // by a call that shows progress, since reaching it loads the window.
    using StatusTarget = std::function<ProgressTarget&()>;

    ArchiveAccess(Platform& os, ZipComponent& zip, StatusTarget status)
        : os_(os), zip_(zip), status_(std::move(status)) {}

    // Writes the archive's entries that match the mask into targetDir; returns the
    // component's count, or 0 after a failure.
    std::int32_t ExtractEntries(const std::string& archivePath, const std::string& mask,
                                const std::string& targetDir);
    // Removes the entries that match the mask from the archive; false after a failure.
    bool DeleteEntries(const std::string& archivePath, const std::string& mask);
    // True when the last ExtractEntries failed (and so returned 0 whatever the archive holds).
    bool lastExtractionFailed() const { return lastExtractionFailed_; }

  private:
    Platform& os_;
    ZipComponent& zip_;
    StatusTarget status_;
    bool lastExtractionFailed_ = false;
};

} // namespace orv
