#pragma once
// Whether an archive is what an interrupted update left of its backup.

#include <string>

#include "platform/file_system.h"

namespace orv::zipkit {

// True when the archive cannot be read as a zip at all, or holds only entries that the backup
// holds too (same names, same checksums): what an update run leaves of the delivered archive
// when it stops before putting the archive back. False for a readable archive with anything
// of its own, that is a newly delivered update, and when the backup itself is unreadable.
bool IsReducedCopyOf(FileSystem& files, const std::string& archivePath,
                     const std::string& backupPath);

} // namespace orv::zipkit
