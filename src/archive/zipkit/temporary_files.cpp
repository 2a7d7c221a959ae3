#include "archive/zipkit/temporary_files.h"

#include <cstdint>

#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {

namespace {

constexpr const char* kNewFile = ".orvupd-";
constexpr const char* kOldFile = ".orvupd-old-";

std::string TemporaryName(const std::string& target, const char* kind, std::uint32_t n) {
    return target + kind + std::to_string(n) + ".tmp";
}

// A file held for a moment by another program (a virus scanner, an indexer) is waited for by the
// run's file system; a removal that fails otherwise is tried once more before the file is given
// up. An old file kept while its new one took its place may carry the read-only mark (a copy
// where the volume has no second names, or what an earlier updater left): Windows removes it
// only once the mark is gone.
constexpr int kRemovalAttempts = 2;

void RemoveQuietly(KnownFolder& folder, const std::string& name) {
    for (int attempt = 1; attempt <= kRemovalAttempts; ++attempt) {
        try {
            if (const auto held = folder.find(name)) {
                if (folder.readOnly(*held)) folder.setReadOnly(*held, false);
                folder.remove(*held);
            }
            return;
        } catch (const RuntimeError& error) {
            // Left behind after the last attempt, or once the hold has been waited for as long
            // as a file may be; the call's own result already says what went wrong.
            if (error.held()) break;
        }
    }
    // A program still running from an old file keeps it; the next run, or the system's
    // restart, removes it.
    folder.removeAtRestart(name);
}

} // namespace

TemporaryFiles::~TemporaryFiles() {
    for (const Recorded& file : files_) {
        if (file.folder != nullptr) RemoveQuietly(*file.folder, file.name);
    }
}

void TemporaryFiles::record(KnownFolder& folder, const std::string& name) {
    positions_[folder.pathOf(name)] = files_.size();
    files_.push_back({&folder, name});
}

std::string TemporaryFiles::freeName(KnownFolder& folder, const std::string& target,
                                     const char* kind) {
    std::uint32_t n = 1;
    while (folder.holds(TemporaryName(target, kind, n))) {
        ++n;
    }
    return TemporaryName(target, kind, n);
}

std::pair<std::string, std::unique_ptr<OutputFile>>
TemporaryFiles::createBeside(KnownFolder& folder, const std::string& target) {
    for (;;) {
        const std::string name = freeName(folder, target, kNewFile);
        try {
            std::unique_ptr<OutputFile> file = folder.createNew(name);
            record(folder, name);
            return {name, std::move(file)};
        } catch (const RuntimeError& error) {
            // Another program took the name since the folder was read: the next one, then.
            if (error.number() != err::kFileExists) throw;
        }
    }
}

std::string TemporaryFiles::asideOf(KnownFolder& folder, const std::string& target) {
    const std::string name = freeName(folder, target, kOldFile);
    record(folder, name);
    return name;
}

void TemporaryFiles::clearLeftovers(KnownFolder& folder, const std::string& target) {
    for (std::uint32_t n = 1; folder.holds(TemporaryName(target, kOldFile, n)); ++n) {
        const std::string old = *folder.find(TemporaryName(target, kOldFile, n));
        try {
            if (!folder.holds(target)) {
                folder.replace(old, target);
                continue;
            }
        } catch (const RuntimeError&) {
            continue; // the only copy of the old file: it stays
        }
        RemoveQuietly(folder, old);
    }
    for (std::uint32_t n = 1; folder.holds(TemporaryName(target, kNewFile, n)); ++n) {
        RemoveQuietly(folder, TemporaryName(target, kNewFile, n));
    }
}

void TemporaryFiles::keep(const KnownFolder& folder, const std::string& name) {
    const auto position = positions_.find(folder.pathOf(name));
    if (position == positions_.end()) return;
    files_[position->second].folder = nullptr;
    positions_.erase(position);
}

void RemoveLeftovers(FileSystem& files, const std::string& target) {
    const FolderAndName place = SplitFolder(target);
    if (place.folder.empty()) return;
    KnownFolder folder{files, place.folder, false};
    TemporaryFiles leftovers;
    leftovers.clearLeftovers(folder, place.name);
}

} // namespace orv::zipkit
