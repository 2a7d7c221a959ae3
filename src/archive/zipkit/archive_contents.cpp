#include "archive/zipkit/archive_contents.h"

#include <utility>

#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/zip_archive.h"

namespace orv::zipkit {

std::vector<std::string> EntryNames(FileSystem& files, const std::string& archivePath) {
    return EntriesOf(files, archivePath).names;
}

StoredEntries EntriesOf(FileSystem& files, const std::string& archivePath) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    std::vector<ListedEntry> listing = ListEntries(archive.get());
    StoredEntries entries;
    entries.names.reserve(listing.size());
    entries.sizes.reserve(listing.size());
    for (ListedEntry& entry : listing) {
        entries.names.push_back(std::move(entry.name));
        entries.sizes.push_back((entry.record.known & ZIP_STAT_SIZE) != 0 ? entry.record.size : 0);
    }
    return entries;
}

} // namespace orv::zipkit
