#pragma once
// What an archive holds and where each of its entries would be written, asked before anything
// is extracted.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zip_component.h"
#include "platform/file_system.h"

namespace orv::zipkit {

// The stored path of every entry, in the archive's order (UTF-8, the way extraction reads it).
// An archive that cannot be read raises the same error that extracting from it would.
std::vector<std::string> EntryNames(FileSystem& files, const std::string& archivePath);

using StoredEntries = orv::StoredEntries;

// The names and unpacked sizes of every entry, in the archive's order.
StoredEntries EntriesOf(FileSystem& files, const std::string& archivePath);

} // namespace orv::zipkit
