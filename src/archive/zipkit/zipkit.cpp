#include "archive/zipkit/zipkit.h"

#include "archive/zipkit/archive_contents.h"
#include "archive/zipkit/extraction.h"
#include "archive/zipkit/kept_archive.h"
#include "archive/zipkit/progress.h"
#include "archive/zipkit/reduced_copy.h"
#include "archive/zipkit/removal.h"
#include "archive/zipkit/temporary_files.h"
#include "platform/paths.h"

namespace orv::zipkit {

Zipkit::Zipkit(FileSystem& files, RunLog* log)
    : files_(files), log_(log), kept_(std::make_unique<KeptArchive>()) {}

Zipkit::~Zipkit() = default;

void Zipkit::SetLanguage(std::int32_t /*language*/) {}

// Existing files are always replaced (an update replaces files), whatever overwriteAll says;
// the archives are not encrypted, so there is no use for a password, and options select
// nothing beyond what this component always does.
std::int32_t Zipkit::UnZipEx(const std::string& archivePath, const std::string& targetDir,
                             const std::string& mask, std::int32_t /*overwriteAll*/,
                             const char* /*password*/, std::int32_t /*options*/,
                             ProgressTarget* progress) {
    PercentProgress percent{progress};
    percent.start();
    const KeptArchive::Lease archive = kept_->open(files_, archivePath);
    const std::int32_t count = ExtractMatching(files_, archive.archive(), archive.entries(), mask,
                                               TargetFolder(targetDir, archivePath), percent, log_);
    percent.finish();
    return count;
}

void Zipkit::ZipDeleteFile(const std::string& archivePath, const std::string& mask,
                           ProgressTarget* progress) {
    PercentProgress percent{progress};
    percent.start();
    const std::size_t removed = RemoveMatching(files_, *kept_, archivePath, mask, percent);
    percent.finish();
    if (log_ != nullptr) {
        log_->note("Aus dem Archiv entfernt: " + mask + " (" + std::to_string(removed) +
                   " Einträge)");
    }
}

StoredEntries Zipkit::entriesOf(const std::string& archivePath) {
    return EntriesOf(kept_->open(files_, archivePath).entries());
}

bool Zipkit::isReducedCopyOf(const std::string& archivePath, const std::string& backupPath) {
    return IsReducedCopyOf(files_, archivePath, backupPath);
}

void Zipkit::removeLeftovers(const std::string& target) {
    RemoveLeftovers(files_, target);
}

} // namespace orv::zipkit
