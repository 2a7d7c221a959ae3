#pragma once
// The checks an extraction makes before it writes anything: each entry on its own, then the
// entries of one extraction against each other. The archive check asks the same questions, so
// that it refuses exactly what extraction refuses, with the same numbers and texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <zip.h>

#include "archive/zipkit/entry_listing.h"

namespace orv::zipkit {

struct PlannedEntry {
    zip_uint64_t index = 0;
    std::string name; // as stored, UTF-8
    std::string target;
    bool folder = false;
    std::uint64_t size = 0;
    std::optional<std::int64_t> modified; // seconds since 1970
    EntryRecord record;                   // as the directory lists it
};

// The entry as extraction writes it to targetFolder (ending in "\"), or the RuntimeError for
// an entry that the updater must not or cannot write: an unsafe name (31003), a symbolic link
// (31009), encryption (31005), a method other than stored or deflated (31004). The entry is
// one that ListEntries gave with its name read as UTF-8.
PlannedEntry CheckEntry(zip_t* archive, const ListedEntry& listed, const std::string& targetFolder);

// Raises 31010 for the first entry that collides with an earlier one.
void CheckCollisions(const std::vector<PlannedEntry>& entries);

} // namespace orv::zipkit
