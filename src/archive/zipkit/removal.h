#pragma once
// Removing the entries that match a mask from an archive file in place.

#include <cstddef>
#include <string>

#include "archive/zipkit/kept_archive.h"
#include "archive/zipkit/progress.h"
#include "platform/file_system.h"

namespace orv::zipkit {

// Removes every entry (folders too) whose stored path matches the mask by rewriting the
// central directory where it stands; the entries' data stays in the file as unused space. An
// interrupted removal leaves the old archive, the new one, or a file no reader opens (the
// updater puts its backup back). Removing every entry leaves an archive without entries;
// removing none leaves the file untouched. Archives laid out in ways this does not know are
// refused, unchanged. Returns how many entries it removed. The kept parse follows the change.
std::size_t RemoveMatching(FileSystem& files, KeptArchive& kept, const std::string& archivePath,
                           const std::string& mask, PercentProgress& progress);

} // namespace orv::zipkit
