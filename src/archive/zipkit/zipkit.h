#pragma once
// zipkit: the updater's zip component, built on libzip; this is its one header for the rest
// of the updater, the others are its own. Its three calls, as the updater makes
// them, and what the updater asks about archives. Failures raise RuntimeError with a German
// description.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_component.h"
#include "platform/file_system.h"
#include "platform/run_log.h"
#include "platform/runtime_error.h"
#include "platform/windows.h"

namespace orv::zipkit {

class KeptArchive;

class Zipkit : public ZipComponent {
  public:
    // With a log, every file written and every removal is noted there.
    explicit Zipkit(FileSystem& files, RunLog* log = nullptr);
    ~Zipkit() override;
    Zipkit(const Zipkit&) = delete;
    Zipkit& operator=(const Zipkit&) = delete;

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
    // The archive's parse, from one call to the next.
    std::unique_ptr<KeptArchive> kept_;
};

// The archive judged as extraction and removal would judge it, without writing anything: what
// the archive check reports before an update is shipped.
struct EntryReview {
    std::uint64_t index = 0;
    std::string name; // the stored path, UTF-8, read as extraction reads it
    bool folder = false;
    // The error with which an extraction that takes this entry fails: a check before writing
    // (CheckEntry), or its data (checksum, declared size, damage).
    std::optional<RuntimeError> refusal;
};

// Every entry of the archive, in the archive's order, with its data read through as an
// extraction reads it. An archive that cannot be opened raises the error that extracting from
// it would.
std::vector<EntryReview> ReviewEntries(FileSystem& files, const std::string& archivePath);

// The first bytes of an entry's data, at most limit of them.
std::string ReadEntryStart(FileSystem& files, const std::string& archivePath, std::uint64_t index,
                           std::size_t limit);

// Raises the error with which removing entries from this archive fails before it changes
// anything (an archive laid out in a way the removal does not know); returns when removal works.
void CheckRemovable(FileSystem& files, const std::string& archivePath);

} // namespace orv::zipkit
