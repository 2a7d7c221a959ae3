#include "archive/zipkit/entry_listing.h"

#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {

std::vector<ListedEntry> ListEntries(zip_t* archive, zip_flags_t nameFlags,
                                     const std::string& subject) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::vector<ListedEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        // libzip reads the name with the same flags as zip_get_name, and fails where it would.
        zip_stat_t stat;
        if (zip_stat_index(archive, index, nameFlags, &stat) != 0) {
            throw ZipError(*zip_get_error(archive),
                           subject.empty() ? "#" + std::to_string(index) : subject);
        }
        entries.push_back(
            {index, stat.name,
             EntryRecord{stat.valid, stat.size, stat.comp_size, stat.crc, stat.comp_method,
                         stat.encryption_method, static_cast<std::int64_t>(stat.mtime)}});
    }
    return entries;
}

} // namespace orv::zipkit
