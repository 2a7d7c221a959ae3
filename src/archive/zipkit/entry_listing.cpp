#include "archive/zipkit/entry_listing.h"

#include <algorithm>
#include <numeric>

#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {

std::vector<zip_uint64_t> AllEntries(zip_t* archive) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::vector<zip_uint64_t> indices(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
    std::iota(indices.begin(), indices.end(), zip_uint64_t{0});
    return indices;
}

std::vector<ListedEntry> ListEntries(zip_t* archive, zip_flags_t nameFlags,
                                     const std::string& subject) {
    return ListEntries(archive, AllEntries(archive), nameFlags, subject);
}

std::vector<ListedEntry> ListEntries(zip_t* archive, const std::vector<zip_uint64_t>& indices,
                                     zip_flags_t nameFlags, const std::string& subject) {
    std::vector<ListedEntry> entries;
    entries.reserve(indices.size());
    for (const zip_uint64_t index : indices) {
        // libzip reads the name with the same flags as zip_get_name, and fails where it would.
        zip_stat_t stat;
        if (zip_stat_index(archive, index, nameFlags, &stat) != 0) {
            throw ZipError(*zip_get_error(archive),
                           subject.empty() ? "#" + std::to_string(entries.size()) : subject);
        }
        entries.push_back(
            {index, stat.name,
             EntryRecord{stat.valid, stat.size, stat.comp_size, stat.crc, stat.comp_method,
                         stat.encryption_method, static_cast<std::int64_t>(stat.mtime)}});
    }
    return entries;
}

} // namespace orv::zipkit
