#include "archive/zipkit/removal.h"

#include <array>
#include <exception>

#include "archive/zipkit/mask.h"
#include "archive/zipkit/entry_path.h"
#include "archive/zipkit/temporary_files.h"
#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {
namespace {

// An archive without entries: the end-of-central-directory record alone.
constexpr std::array<char, 22> kEmptyArchive{'P', 'K', '\x05', '\x06'};

// libzip calls back from C while it writes; a failure of the display is carried past it and
// raised once libzip has returned.
struct CommitProgress {
    PercentProgress& percent;
    std::exception_ptr failure;
};

void ReportCommit(zip_t* /*archive*/, double fraction, void* state) {
    auto& progress = *static_cast<CommitProgress*>(state);
    if (progress.failure) return;
    try {
        progress.percent.advance(fraction);
    } catch (...) {
        progress.failure = std::current_exception();
    }
}

// libzip deletes an archive whose last entry is removed; the updater keeps the file.
void WriteEmptyArchive(FileSystem& files, const std::string& archivePath) {
    TemporaryFiles temporaries{files};
    const std::string temporary = temporaries.beside(archivePath);
    {
        const std::unique_ptr<OutputFile> out = files.createFile(temporary);
        out->write(kEmptyArchive.data(), kEmptyArchive.size());
        out->close();
    }
    files.replaceFile(temporary, archivePath);
}

} // namespace

void RemoveMatching(FileSystem& files, const std::string& archivePath, const std::string& mask,
                    PercentProgress& progress) {
    ZipArchive archive = OpenArchive(files, archivePath, false);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    zip_int64_t removed = 0;
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        const char* stored = zip_get_name(archive.get(), index, ZIP_FL_ENC_GUESS);
        if (stored == nullptr) throw ZipError(*zip_get_error(archive.get()), archivePath);
        if (!MaskMatches(mask, WithoutFolderMark(stored))) continue;
        if (zip_delete(archive.get(), index) != 0) {
            throw ZipError(*zip_get_error(archive.get()), archivePath);
        }
        ++removed;
    }

    if (removed == 0) return; // the archive is discarded unchanged
    if (removed == count) {
        archive.discard(); // lets go of the file before it is replaced
        WriteEmptyArchive(files, archivePath);
        return;
    }

    CommitProgress commitProgress{progress, nullptr};
    zip_register_progress_callback_with_state(archive.get(), 0.001, ReportCommit, nullptr,
                                              &commitProgress);
    archive.commit(archivePath);
    if (commitProgress.failure) std::rethrow_exception(commitProgress.failure);
}

} // namespace orv::zipkit
