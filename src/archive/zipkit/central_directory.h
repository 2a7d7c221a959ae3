#pragma once
// The archive's table of contents (central directory and end records), read and rewritten
// where it stands: removing entries costs in proportion to the table, not to the data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/zipkit/progress.h"
#include "platform/file_system.h"

namespace orv::zipkit {

// One entry's record in the central directory: where its bytes lie in CentralDirectory::records.
struct DirectoryRecord {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The central directory as the end records describe it, checked record by record.
struct CentralDirectory {
    std::uint64_t offset = 0;  // where the directory begins in the file
    std::vector<char> records; // the directory's bytes
    std::vector<DirectoryRecord> entries;
    std::vector<char> endRecord; // the end-of-central-directory record, comment included
    std::optional<std::vector<char>> zip64EndRecord; // with its locator, when the archive has one
};

// Reads the end records and the central directory. Anything but a single-volume archive whose
// directory ends exactly where its end records begin, whose end record's comment ends the file,
// and whose records are all sound raises RuntimeError (31004 or 31002): the caller must not
// change what it does not understand.
CentralDirectory ReadCentralDirectory(InputFile& file, const std::string& subject);

// Writes the directory back without the entries marked in drop (one flag per entry, in
// directory order) and cuts the file after the new end record. The removed entries' data stays
// behind as unused space; without any entry left the file is the end record alone (comment
// kept). The old end record is made unreadable first, so that an interrupted rewrite, and a
// power cut at any moment of it, leaves the old archive, the new one, or one that no reader
// opens. Returns the number of entries removed; with none to remove, nothing is written.
std::size_t RewriteWithout(RandomAccessFile& file, const CentralDirectory& directory,
                           const std::vector<bool>& drop, PercentProgress& progress);

} // namespace orv::zipkit
