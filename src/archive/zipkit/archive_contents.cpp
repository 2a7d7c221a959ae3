#include "archive/zipkit/archive_contents.h"

#include <utility>

namespace orv::zipkit {

StoredEntries EntriesOf(std::vector<ListedEntry> listing) {
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
