#include "archive/zipkit/archive_contents.h"

#include "archive/entry_path.h"
#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/paths.h"

namespace orv::zipkit {

std::vector<std::string> EntryNames(FileSystem& files, const std::string& archivePath) {
    return EntriesOf(files, archivePath).names;
}

StoredEntries EntriesOf(FileSystem& files, const std::string& archivePath) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    StoredEntries entries;
    entries.names.reserve(static_cast<std::size_t>(count));
    entries.sizes.reserve(static_cast<std::size_t>(count));
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        const char* stored = zip_get_name(archive.get(), index, ZIP_FL_ENC_GUESS);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (stored == nullptr || zip_stat_index(archive.get(), index, 0, &stat) != 0) {
            throw ZipError(*zip_get_error(archive.get()), "#" + std::to_string(index));
        }
        entries.names.emplace_back(stored);
        entries.sizes.push_back((stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0);
    }
    return entries;
}

} // namespace orv::zipkit
