#include "archive/zipkit/extraction.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "archive/zipkit/entry_checks.h"
#include "archive/zipkit/entry_path.h"
#include "archive/zipkit/entry_stream.h"
#include "archive/zipkit/mask.h"
#include "archive/zipkit/target_path.h"
#include "archive/zipkit/temporary_files.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// How many files are moved into place between two chances for the status window to answer.
constexpr std::size_t kPlacementsBetweenMessages = 16;

struct StagedFile {
    std::string temporary;
    std::string target;
};

std::vector<PlannedEntry> PlanExtraction(zip_t* archive, const std::string& mask,
                                         const std::string& targetFolder) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::vector<PlannedEntry> entries;
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        const char* stored = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
        if (stored == nullptr) throw ZipError(*zip_get_error(archive), "#" + std::to_string(index));
        const std::string name{stored};
        if (!MaskMatches(mask, WithoutFolderMark(name))) continue;
        entries.push_back(CheckEntry(archive, index, name, targetFolder));
    }
    CheckCollisions(entries);
    return entries;
}

// Creates the folders on the way to a file, one level at a time, asking about each folder once.
class FolderMaker {
  public:
    explicit FolderMaker(FileSystem& files) : files_(files) {}

    void ensure(const std::string& folder) {
        for (const std::string& level : FolderLevels(folder)) {
            const std::u32string key = FoldedPath(level);
            if (known_.count(key) > 0) continue;
            if (!files_.directoryExists(level)) files_.createDirectory(level);
            known_.insert(key);
        }
    }

  private:
    FileSystem& files_;
    std::set<std::u32string> known_;
};

// Writes one entry's data, as the stream hands it over, into a new file. The file is made only
// once the entry's first piece is there, so an entry that cannot be read leaves nothing behind.
void WriteEntry(FileSystem& files, EntryStream& stream, const PlannedEntry& entry,
                const std::string& path, const std::function<void(std::uint64_t)>& written) {
    const EntryPiece* piece = &stream.next();
    const std::unique_ptr<OutputFile> out = files.createFile(path);
    while (true) {
        if (piece->size > 0) {
            out->write(piece->buffer.data(), piece->size);
            written(piece->size);
        }
        if (piece->last) break;
        piece = &stream.next();
    }
    if (entry.modified) out->setModificationTime(*entry.modified);
    out->close();
}

struct Placement {
    std::string target;
    std::optional<std::string> backup; // a second name of the old file
    bool replaced = false;             // the new file is in place
};

// Puts every target back as it was: the old file where there was one, none where there was
// none. An old file that cannot be put back stays in its backup, so it is never lost.
void RollBack(FileSystem& files, const std::vector<Placement>& placements,
              TemporaryFiles& temporaries) {
    for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
        try {
            if (it->backup) {
                files.replaceFile(*it->backup, it->target);
            } else if (it->replaced) {
                files.deleteFile(it->target);
            }
        } catch (const RuntimeError&) {
            if (it->backup) temporaries.keep(*it->backup);
        }
    }
}

// Moves the new file over its target. A running program or a loaded library cannot be replaced
// where it stands, but it can be moved aside within its folder under a name of ours, and the new
// file moved in after it; the old one is removed once it is free (at the end of the call, by the
// next run, or when the system restarts). oldKept: the old file has a second name to go back to.
void MoveIn(FileSystem& files, TemporaryFiles& temporaries, const StagedFile& file, bool oldKept) {
    try {
        files.replaceFile(file.temporary, file.target);
        return;
    } catch (const RuntimeError& error) {
        if (error.number() != err::kPermissionDenied || !oldKept) throw;
    }
    files.replaceFile(file.target, temporaries.asideOf(file.target));
    files.replaceFile(file.temporary, file.target);
}

// Moves each new file over its target in one step, keeping the old one under a second name
// until all are in place: whenever the updater stops, each target is the old or the new file.
// Thousands of moves take seconds on a slow volume, so the status window is let answer now and
// then, although no percentage moves on.
void PlaceFiles(FileSystem& files, const std::vector<StagedFile>& staged,
                TemporaryFiles& temporaries, PercentProgress& progress) {
    std::vector<Placement> placements;
    placements.reserve(staged.size());
    try {
        for (const StagedFile& file : staged) {
            if (placements.size() % kPlacementsBetweenMessages == kPlacementsBetweenMessages - 1) {
                progress.stillWorking();
            }
            Placement& placement = placements.emplace_back(Placement{file.target, {}, false});
            if (files.fileExists(file.target)) {
                const std::string backup = temporaries.asideOf(file.target);
                files.keepAs(file.target, backup);
                placement.backup = backup;
            }
            MoveIn(files, temporaries, file, placement.backup.has_value());
            temporaries.moved(file.temporary);
            placement.replaced = true;
        }
    } catch (const RuntimeError&) {
        RollBack(files, placements, temporaries);
        throw;
    }
}

} // namespace

std::int32_t ExtractMatching(FileSystem& files, zip_t* archive, const std::string& mask,
                             const std::string& targetFolder, PercentProgress& progress,
                             RunLog* log) {
    const std::vector<PlannedEntry> entries = PlanExtraction(archive, mask, targetFolder);

    std::uint64_t totalBytes = 0;
    for (const PlannedEntry& entry : entries) {
        totalBytes += entry.size;
    }
    std::uint64_t doneBytes = 0;
    const auto written = [&](std::uint64_t bytes) {
        doneBytes += bytes;
        progress.advance(doneBytes, totalBytes);
    };

    std::vector<EntryToRead> toRead;
    for (const PlannedEntry& entry : entries) {
        if (!entry.folder) toRead.push_back({entry.index, entry.size, PrintableName(entry.name)});
    }

    TemporaryFiles temporaries{files};
    FolderMaker folders{files};
    std::vector<StagedFile> staged;
    EntryStream stream{archive, std::move(toRead)};
    for (const PlannedEntry& entry : entries) {
        if (entry.folder) {
            folders.ensure(entry.target);
            continue;
        }
        folders.ensure(entry.target.substr(0, entry.target.rfind('\\')));
        temporaries.clearLeftovers(entry.target);
        const std::string temporary = temporaries.beside(entry.target);
        WriteEntry(files, stream, entry, temporary, written);
        staged.push_back({temporary, entry.target});
    }
    PlaceFiles(files, staged, temporaries, progress);
    if (log != nullptr) {
        for (const PlannedEntry& entry : entries) {
            if (!entry.folder) log->note("  " + PrintableName(entry.name) + " -> " + entry.target);
        }
    }
    return static_cast<std::int32_t>(staged.size());
}

} // namespace orv::zipkit
