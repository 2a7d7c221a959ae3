#include "archive/zipkit/extraction.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "archive/entry_path.h"
#include "archive/mask.h"
#include "archive/zipkit/entry_checks.h"
#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/entry_stream.h"
#include "archive/zipkit/temporary_files.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/known_folder.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// How many files are moved into place between two chances for the status window to answer.
constexpr std::size_t kPlacementsBetweenMessages = 16;
// The most written to a file at once.
constexpr std::size_t kWriteSlice = 128 * 1024;
// From how many files on a call one request per volume puts them on the disk sooner than a
// request per file.
constexpr std::size_t kFilesForVolumeSync = 16;
// How many files are handed over to be synced at once, where they are synced file by file.
constexpr std::size_t kFilesPerSync = 64;

std::vector<PlannedEntry> PlanExtraction(zip_t* archive, const std::vector<ListedEntry>& listing,
                                         const std::string& mask, const std::string& targetFolder) {
    std::vector<PlannedEntry> entries;
    for (const ListedEntry& listed : listing) {
        if (!MaskMatches(mask, WithoutFolderMark(listed.name))) continue;
        entries.push_back(CheckEntry(archive, listed, targetFolder));
    }
    CheckCollisions(entries);
    return entries;
}

// Creates the folders on the way to a file, one level at a time, asking about each folder once.
class FolderMaker {
  public:
    explicit FolderMaker(FileSystem& files) : files_(files) {}

    // True when the folder itself was made now (it then holds nothing yet).
    bool ensure(const std::string& folder) {
        bool made = false;
        for (const std::string& level : FolderLevels(folder)) {
            const std::u32string key = FoldedPath(level);
            if (known_.count(key) > 0) continue;
            made = !files_.directoryExists(level);
            if (made) {
                files_.createDirectory(level);
                made_.push_back(level);
            }
            known_.insert(key);
        }
        return made;
    }

    // The folders made, in the order made.
    const std::vector<std::string>& made() const { return made_; }

  private:
    FileSystem& files_;
    std::set<std::u32string> known_;
    std::vector<std::string> made_;
};

// A folder's path without the separators at its end, folded: one key for each spelling.
std::u32string FolderKey(std::string folder) {
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return FoldedPath(folder);
}

// The folders of the call's targets, each opened and read once.
class TargetFolders {
  public:
    explicit TargetFolders(FileSystem& files) : files_(files), maker_(files) {}

    // The folder, made where it is missing.
    KnownFolder& ensure(const std::string& folder) {
        const std::u32string key = FoldedPath(folder);
        const auto known = folders_.find(key);
        if (known != folders_.end()) return *known->second;
        const bool made = maker_.ensure(folder);
        return *(folders_[key] = std::make_unique<KnownFolder>(files_, folder, made));
    }

    // Makes the folder (an entry that is a folder) without opening it.
    void make(const std::string& folder) { maker_.ensure(folder); }

    // The folders that files went into.
    std::vector<std::string> targets() const {
        std::vector<std::string> paths;
        for (const auto& [key, folder] : folders_) {
            paths.push_back(folder->path());
        }
        return paths;
    }

    // Every folder whose names the call changed: those that files went into, and those that
    // hold a folder the call made.
    std::vector<std::string> changed() const {
        std::map<std::u32string, std::string> changed;
        for (const std::string& path : targets()) {
            changed.emplace(FolderKey(path), path);
        }
        for (const std::string& made : maker_.made()) {
            const std::string parent = SplitFolder(made).folder;
            changed.emplace(FolderKey(parent), parent);
        }
        std::vector<std::string> paths;
        for (auto& [key, path] : changed) {
            paths.push_back(std::move(path));
        }
        return paths;
    }

  private:
    FileSystem& files_;
    FolderMaker maker_;
    std::map<std::u32string, std::unique_ptr<KnownFolder>> folders_;
};

struct StagedFile {
    KnownFolder* folder;
    std::string temporary; // names in the folder
    std::string target;
};

// Writes one entry's data, as the stream hands it over, into a new file beside its target. The
// file is made only once the entry's first piece is there, so an entry that cannot be read
// leaves nothing behind. Returns the new file's name.
std::string WriteEntry(TemporaryFiles& temporaries, KnownFolder& folder, EntryStream& stream,
                       const PlannedEntry& entry, const std::string& target,
                       const std::function<void(std::uint64_t)>& written) {
    const EntryPiece* piece = &stream.next();
    auto [name, out] = temporaries.createBeside(folder, target);
    while (true) {
        // Written in slices, the bar moving after each: on a slow share a slice takes a moment,
        // and the window answers between two.
        for (std::size_t at = 0; at < piece->size; at += kWriteSlice) {
            const std::size_t size = std::min(kWriteSlice, piece->size - at);
            out->write(piece->data + at, size);
            written(size);
        }
        if (piece->last) break;
        piece = &stream.next();
    }
    if (entry.modified) out->setModificationTime(*entry.modified);
    // The disk gets to work on the file while the next ones are written.
    out->startWriteBack();
    out->close();
    return name;
}

// Puts the data of every staged file on the disk before any of them is named: a power cut
// never leaves a target empty or half written under its name. Many files are synced with one
// request per volume, where the platform has one; otherwise a group at a time, which the file
// system may sync at once, the status window answering between two groups.
void MakeDurable(FileSystem& files, const std::vector<StagedFile>& staged,
                 const std::vector<std::string>& folders, PercentProgress& progress) {
    if (staged.size() >= kFilesForVolumeSync && files.syncVolumes(folders)) return;
    std::vector<std::string> group;
    for (const StagedFile& file : staged) {
        group.push_back(file.folder->pathOf(file.temporary));
        if (group.size() == kFilesPerSync || &file == &staged.back()) {
            files.syncFiles(group);
            group.clear();
            progress.stillWorking();
        }
    }
}

struct Placement {
    KnownFolder* folder;
    std::string target;
    std::optional<std::string> backup; // a second name of the old file
    bool replaced = false;             // the new file is in place
    bool markCleared = false;          // the old file was marked read-only, and is no more
};

// Puts every target back as it was: the old file where there was one, none where there was
// none. An old file that cannot be put back stays in its backup, so it is never lost. A target
// that the new file never reached still is the old file, unless it was moved aside: only then
// does its backup go back (a backup that is a second name of the target itself goes with the
// temporary files: on Linux, moving one name of a file over another does nothing).
void RollBack(const std::vector<Placement>& placements, TemporaryFiles& temporaries) {
    for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
        KnownFolder& folder = *it->folder;
        try {
            if (it->backup && (it->replaced || !folder.holds(it->target))) {
                folder.replace(*it->backup, it->target);
            } else if (it->replaced) {
                folder.remove(it->target);
            }
        } catch (const RuntimeError&) {
            if (it->backup) temporaries.keep(folder, *it->backup);
            continue;
        }
        try {
            if (it->markCleared) folder.setReadOnly(it->target, true);
        } catch (const RuntimeError&) {
            // The old file is back, only without its mark.
        }
    }
}

// A file marked read-only can be neither replaced nor removed on Windows: its mark goes before
// the new file takes its place (and with it the mark of the second name that keeps the old
// file, which is then removed like any other). True when there was a mark to clear. Where the
// mark cannot be cleared (on Linux: a file of another owner, which can still be replaced), the
// replacement meets what it meets.
bool ClearReadOnly(KnownFolder& folder, const std::string& name) {
    try {
        if (!folder.readOnly(name)) return false;
        folder.setReadOnly(name, false);
        return true;
    } catch (const RuntimeError& error) {
        if (error.denied()) return false;
        throw;
    }
}

// Moves the new file over its target. A running program or a loaded library cannot be replaced
// where it stands, but it can be moved aside within its folder under a name of ours, and the new
// file moved in after it; the old one is removed once it is free (at the end of the call, by the
// next run, or when the system restarts). oldKept: the old file has a second name to go back to.
void MoveIn(TemporaryFiles& temporaries, const StagedFile& file, bool oldKept) {
    KnownFolder& folder = *file.folder;
    try {
        folder.replace(file.temporary, file.target);
        return;
    } catch (const RuntimeError& error) {
        if (error.number() != err::kPermissionDenied || !oldKept) throw;
    }
    folder.replace(file.target, temporaries.asideOf(folder, file.target));
    folder.replace(file.temporary, file.target);
}

// Moves each new file over its target in one step, keeping the old one under a second name
// until all are in place and their folders' names on the disk: whenever the updater stops, and
// after a power cut, each target is the old or the new file. Thousands of moves take seconds on
// a slow volume, so the status window is let answer now and then, although no percentage moves
// on.
void PlaceFiles(FileSystem& files, const std::vector<StagedFile>& staged,
                const std::vector<std::string>& changedFolders, TemporaryFiles& temporaries,
                PercentProgress& progress) {
    std::vector<Placement> placements;
    placements.reserve(staged.size());
    try {
        for (const StagedFile& file : staged) {
            if (placements.size() % kPlacementsBetweenMessages == kPlacementsBetweenMessages - 1) {
                progress.stillWorking();
            }
            KnownFolder& folder = *file.folder;
            Placement& placement =
                placements.emplace_back(Placement{&folder, file.target, {}, false});
            if (folder.holds(file.target)) {
                placement.markCleared = ClearReadOnly(folder, file.target);
                const std::string backup = temporaries.asideOf(folder, file.target);
                folder.keepAs(file.target, backup);
                placement.backup = backup;
            }
            MoveIn(temporaries, file, placement.backup.has_value());
            temporaries.moved(folder, file.temporary);
            placement.replaced = true;
        }
        for (const std::string& folder : changedFolders) {
            files.syncFolder(folder);
        }
    } catch (const RuntimeError&) {
        RollBack(placements, temporaries);
        throw;
    }
}

} // namespace

std::int32_t ExtractMatching(FileSystem& files, zip_t* archive,
                             const std::vector<ListedEntry>& listing, const std::string& mask,
                             const std::string& targetFolder, PercentProgress& progress,
                             RunLog* log) {
    const std::vector<PlannedEntry> entries = PlanExtraction(archive, listing, mask, targetFolder);

    std::uint64_t totalBytes = 0;
    for (const PlannedEntry& entry : entries) {
        totalBytes += entry.size;
    }
    std::uint64_t doneBytes = 0;
    const auto onWritten = [&](std::uint64_t bytes) {
        doneBytes += bytes;
        progress.advance(doneBytes, totalBytes);
    };

    std::vector<EntryToRead> toRead;
    for (const PlannedEntry& entry : entries) {
        if (!entry.folder) toRead.push_back({entry.index, entry.record, PrintableName(entry.name)});
    }

    TargetFolders folders{files};
    TemporaryFiles temporaries;
    std::vector<StagedFile> staged;
    EntryStream stream{archive, std::move(toRead)};
    for (const PlannedEntry& entry : entries) {
        if (entry.folder) {
            folders.make(entry.target);
            continue;
        }
        const FolderAndName place = SplitFolder(entry.target);
        KnownFolder& folder = folders.ensure(place.folder);
        // An existing file keeps the name it has; a new one gets the archive's.
        const std::string target = folder.find(place.name).value_or(place.name);
        temporaries.clearLeftovers(folder, target);
        const std::string temporary =
            WriteEntry(temporaries, folder, stream, entry, target, onWritten);
        staged.push_back({&folder, temporary, target});
    }
    MakeDurable(files, staged, folders.targets(), progress);
    // The old files' second names go with the temporary files, once the new files are durable.
    PlaceFiles(files, staged, folders.changed(), temporaries, progress);
    if (log != nullptr) {
        for (const PlannedEntry& entry : entries) {
            if (!entry.folder) log->note("  " + PrintableName(entry.name) + " -> " + entry.target);
        }
    }
    return static_cast<std::int32_t>(staged.size());
}

} // namespace orv::zipkit
