#pragma once
// The zip component as the updater uses it: the three calls that the archive routines make,
// and what the updater asks it about archives before and beside them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace orv {

// The entries of an archive, in the archive's order.
struct StoredEntries {
    std::vector<std::string> names;   // stored paths (UTF-8, the way extraction reads them)
    std::vector<std::uint64_t> sizes; // unpacked, as the archive states them
};

class ZipComponent {
  public:
    virtual ~ZipComponent() = default;
    virtual void SetLanguage(std::int32_t language) = 0;
    virtual std::int32_t UnZipEx(const std::string& archivePath, const std::string& targetDir,
                                 const std::string& mask, std::int32_t overwriteAll,
                                 const char* password, std::int32_t options,
                                 ProgressTarget* progress) = 0;
    virtual void ZipDeleteFile(const std::string& archivePath, const std::string& mask,
                               ProgressTarget* progress) = 0;

    // The names and unpacked sizes of the archive's entries. An archive that cannot be read
    // raises the error that extracting from it would.
    virtual StoredEntries entriesOf(const std::string& archivePath) = 0;
    // True only when the backup provably is the whole of what an interrupted update left of
    // the archive; false for a newly delivered archive, whole or damaged.
    virtual bool isReducedCopyOf(const std::string& archivePath, const std::string& backupPath) = 0;
    // Clears what an earlier call left beside the target (its temporary files, or the old file
    // moved aside); what resists stays.
    virtual void removeLeftovers(const std::string& target) = 0;
};

} // namespace orv
