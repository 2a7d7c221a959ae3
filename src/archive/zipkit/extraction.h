#pragma once
// Writing the entries that match a mask into a folder, all or nothing.

#include <cstdint>
#include <string>
#include <vector>

#include <zip.h>

#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/progress.h"
#include "platform/file_system.h"
#include "platform/run_log.h"

namespace orv::zipkit {

// Checks every entry of the listing (the archive's entries) that matches the mask, then writes each
// matching file to targetFolder (ending in "\") + its stored path, creating folders as needed, and
// returns how many files it wrote. Either every matching file is in place afterwards, or the call
// raises RuntimeError and every target is as it was.
std::int32_t ExtractMatching(FileSystem& files, zip_t* archive,
                             const std::vector<ListedEntry>& listing, const std::string& mask,
                             const std::string& targetFolder, PercentProgress& progress,
                             RunLog* log = nullptr);

} // namespace orv::zipkit
