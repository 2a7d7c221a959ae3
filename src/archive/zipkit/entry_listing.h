#pragma once
// The entries of an open archive as its central directory lists them: each entry's stored name
// and what the directory records of its data.

#include <cstdint>
#include <string>
#include <vector>

#include <zip.h>

namespace orv::zipkit {

// What the central directory records of an entry's data. known says which of the fields it
// records (ZIP_STAT_* bits); the others hold whatever libzip gives for them.
struct EntryRecord {
    zip_uint64_t known = 0;
    std::uint64_t size = 0; // unpacked
    std::uint64_t packedSize = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;     // ZIP_CM_*
    std::uint16_t encryption = 0; // ZIP_EM_*
    std::int64_t modified = 0;    // seconds since 1970
};

struct ListedEntry {
    zip_uint64_t index = 0;
    std::string name; // the stored path, read with the listing's name flags
    EntryRecord record;
};

// Every entry of the archive, in the directory's order. nameFlags: ZIP_FL_ENC_GUESS reads each
// name as UTF-8 (as extraction and removal read names), ZIP_FL_ENC_RAW as the bytes stored. An
// entry that libzip cannot read raises its error (RuntimeError) naming the entry by its number
// ("#3"), or naming subject where one is given.
std::vector<ListedEntry> ListEntries(zip_t* archive, zip_flags_t nameFlags = ZIP_FL_ENC_GUESS,
                                     const std::string& subject = "");

// The given entries of the archive, in that order: those that its directory still lists after
// entries were removed from it. An entry is named by its place in this list ("#3").
std::vector<ListedEntry> ListEntries(zip_t* archive, const std::vector<zip_uint64_t>& indices,
                                     zip_flags_t nameFlags = ZIP_FL_ENC_GUESS,
                                     const std::string& subject = "");

// The indices of every entry of the archive.
std::vector<zip_uint64_t> AllEntries(zip_t* archive);

} // namespace orv::zipkit
