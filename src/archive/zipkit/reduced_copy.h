#pragma once
// Whether an archive is what an interrupted update left of its backup.

#include <string>

#include "platform/file_system.h"

namespace orv::zipkit {

// True only when the backup provably is the whole of the archive: the archive is readable and
// holds fewer of the backup's entries and nothing else (same names, sizes and checksums), or
// it is unreadable but holds the backup's bytes up to the backup's central directory. Both are
// what an update run leaves of the delivered archive when it stops before putting it back. In
// every other case (a newly delivered update, whole or damaged; an unreadable backup) false:
// a damaged delivery is never swapped for an older release.
bool IsReducedCopyOf(FileSystem& files, const std::string& archivePath,
                     const std::string& backupPath);

} // namespace orv::zipkit
