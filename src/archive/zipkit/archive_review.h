#pragma once
// An archive judged as extraction and removal would judge it, without writing anything: what
// the archive check reports before an update is shipped.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {

struct EntryReview {
    std::uint64_t index = 0;
    std::string name; // the stored path, UTF-8, read as extraction reads it
    bool folder = false;
    // The error with which an extraction that takes this entry fails: a check before writing
    // (CheckEntry), or its data (checksum, declared size, damage).
    std::optional<RuntimeError> refusal;
};

// Every entry of the archive, in the archive's order, with its data read through as an
// extraction reads it. An archive that cannot be opened raises the error that extracting from
// it would.
std::vector<EntryReview> ReviewEntries(FileSystem& files, const std::string& archivePath);

// The first bytes of an entry's data, at most limit of them.
std::string ReadEntryStart(FileSystem& files, const std::string& archivePath, std::uint64_t index,
                           std::size_t limit);

// Raises the error with which removing entries from this archive fails before it changes
// anything (an archive laid out in a way the removal does not know); returns when removal works.
void CheckRemovable(FileSystem& files, const std::string& archivePath);

} // namespace orv::zipkit
