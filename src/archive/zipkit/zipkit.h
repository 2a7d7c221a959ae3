#pragma once
// zipkit: the updater's zip component, built on libzip. Its three calls, as the updater makes
// them, and what the updater asks about archives. Failures raise RuntimeError with a German
// description.

#include <cstdint>
#include <string>

#include "archive/zip_component.h"
#include "platform/file_system.h"
#include "platform/run_log.h"
#include "platform/windows.h"

namespace orv::zipkit {

class Zipkit : public ZipComponent {
  public:
    // With a log, every file written and every removal is noted there.
    explicit Zipkit(FileSystem& files, RunLog* log = nullptr) : files_(files), log_(log) {}

    // Selects the language of the component's texts. German (1) is the only one there is, so
    // the call changes nothing; the updater makes it all the same.
    void SetLanguage(std::int32_t language) override;

    // Writes every entry of the archive whose stored path matches the mask into targetDir
    // (which ends in "\"), keeping the stored folders. targetDir "\" alone is the root of the
    // drive that holds the archive. All or nothing: either every matching file is in place or
    // none is touched. Returns the number of files written. With a progress target, its text
    // follows the percentage done ("0" .. "100").
    std::int32_t UnZipEx(const std::string& archivePath, const std::string& targetDir,
                         const std::string& mask, std::int32_t overwriteAll, const char* password,
                         std::int32_t options, ProgressTarget* progress) override;

    // Removes every entry whose stored path matches the mask from the archive. The archive is
    // a valid zip before and after; removing nothing leaves the file untouched.
    void ZipDeleteFile(const std::string& archivePath, const std::string& mask,
                       ProgressTarget* progress) override;

    StoredEntries entriesOf(const std::string& archivePath) override;
    bool isReducedCopyOf(const std::string& archivePath, const std::string& backupPath) override;
    void removeLeftovers(const std::string& target) override;

  private:
    FileSystem& files_;
    RunLog* log_;
};

} // namespace orv::zipkit
