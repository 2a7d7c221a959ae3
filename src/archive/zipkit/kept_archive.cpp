#include "archive/zipkit/kept_archive.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Whether libzip reads the same archive from both: it parses nothing else.
bool SameDirectory(const CentralDirectory& a, const CentralDirectory& b) {
    return a.offset == b.offset && a.records == b.records && a.endRecord == b.endRecord &&
           a.zip64EndRecord == b.zip64EndRecord;
}

// The record of the entry as the directory stores it.
std::vector<char>::const_iterator RecordStart(const CentralDirectory& directory,
                                              std::size_t entry) {
    return directory.records.begin() + static_cast<std::ptrdiff_t>(directory.entries[entry].offset);
}

// Whether after lists the entries of before that drop does not mark, each with its record.
bool ListsTheRest(const CentralDirectory& before, const std::vector<bool>& drop,
                  const CentralDirectory& after) {
    std::size_t next = 0;
    for (std::size_t i = 0; i < before.entries.size(); ++i) {
        if (drop[i]) continue;
        if (next == after.entries.size() ||
            before.entries[i].length != after.entries[next].length ||
            !std::equal(RecordStart(before, i),
                        RecordStart(before, i) +
                            static_cast<std::ptrdiff_t>(before.entries[i].length),
                        RecordStart(after, next))) {
            return false;
        }
        ++next;
    }
    return next == after.entries.size();
}

} // namespace

KeptArchive::Lease::~Lease() {
    if (kept_.kept_) kept_.kept_->parsed.letGo();
}

zip_t* KeptArchive::Lease::archive() const {
    return kept_.kept_->parsed.get();
}

std::vector<ListedEntry> KeptArchive::Lease::entries(zip_flags_t nameFlags,
                                                     const std::string& subject) const {
    return ListEntries(archive(), kept_.kept_->live, nameFlags, subject);
}

KeptArchive::Lease KeptArchive::open(FileSystem& files, const std::string& archivePath) {
    std::unique_ptr<InputFile> file = OpenArchiveFile(files, archivePath);
    std::optional<CentralDirectory> seen;
    try {
        seen = ReadCentralDirectory(*file, archivePath);
    } catch (const RuntimeError&) {
        // Not laid out as this component reads archives: libzip judges it, once.
    }
    if (kept_ && kept_->directory && seen && kept_->path == archivePath &&
        SameDirectory(*kept_->directory, *seen)) {
        kept_->parsed.takeUp(std::move(file));
        return Lease{*this};
    }
    kept_.reset();
    ParsedArchive parsed{std::move(file), archivePath};
    std::vector<zip_uint64_t> live = AllEntries(parsed.get());
    if (seen && seen->entries.size() != live.size()) seen.reset();
    kept_.emplace(Kept{archivePath, std::move(parsed), std::move(seen), std::move(live)});
    return Lease{*this};
}

void KeptArchive::removed(const std::string& archivePath, const CentralDirectory& before,
                          const std::vector<bool>& drop, InputFile& file) {
    std::optional<CentralDirectory> after;
    try {
        after = ReadCentralDirectory(file, archivePath);
    } catch (const RuntimeError&) {
        // The next call parses the archive anew, and meets what is wrong with it.
    }
    if (!after || !kept_ || !kept_->directory || kept_->path != archivePath ||
        !SameDirectory(*kept_->directory, before) || drop.size() != kept_->live.size() ||
        !ListsTheRest(before, drop, *after)) {
        kept_.reset();
        return;
    }
    std::vector<zip_uint64_t> live;
    for (std::size_t i = 0; i < drop.size(); ++i) {
        if (!drop[i]) live.push_back(kept_->live[i]);
    }
    kept_->directory = std::move(after);
    kept_->live = std::move(live);
}

} // namespace orv::zipkit
