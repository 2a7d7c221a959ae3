#pragma once
// What an archive holds, asked before anything is extracted.

#include <vector>

#include "archive/zip_component.h"
#include "archive/zipkit/entry_listing.h"

namespace orv::zipkit {

using StoredEntries = orv::StoredEntries;

// The names and unpacked sizes of the listed entries (read as extraction reads them), in the
// listing's order.
StoredEntries EntriesOf(std::vector<ListedEntry> listing);

} // namespace orv::zipkit
