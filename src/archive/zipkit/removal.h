#pragma once
// Removing the entries that match a mask from an archive file in place.

#include <string>

#include "archive/zipkit/progress.h"
#include "platform/file_system.h"

namespace orv::zipkit {

// Removes every entry (folders too) whose stored path matches the mask. The file is a valid
// archive at every moment: libzip writes the result beside it and renames it over the
// archive. Removing every entry leaves an archive without entries; removing none leaves the
// file untouched.
void RemoveMatching(FileSystem& files, const std::string& archivePath, const std::string& mask,
                    PercentProgress& progress);

} // namespace orv::zipkit
