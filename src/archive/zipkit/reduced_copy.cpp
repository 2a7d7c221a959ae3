#include "archive/zipkit/reduced_copy.h"

#include <map>

#include <zip.h>

#include "archive/zipkit/zip_archive.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Each entry's raw name with its checksum and size.
std::map<std::string, std::pair<zip_uint32_t, zip_uint64_t>> Contents(ZipArchive& archive) {
    std::map<std::string, std::pair<zip_uint32_t, zip_uint64_t>> contents;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) !=
                0 ||
            stat.name == nullptr) {
            throw RuntimeError(err::kZipDamaged);
        }
        contents[stat.name] = {stat.crc, stat.size};
    }
    return contents;
}

} // namespace

bool IsReducedCopyOf(FileSystem& files, const std::string& archivePath,
                     const std::string& backupPath) {
    std::map<std::string, std::pair<zip_uint32_t, zip_uint64_t>> backup;
    try {
        ZipArchive backupArchive = OpenArchive(files, backupPath);
        backup = Contents(backupArchive);
    } catch (const RuntimeError&) {
        return false; // a damaged backup is nothing to put back
    }
    try {
        ZipArchive archive = OpenArchive(files, archivePath);
        for (const auto& [name, entry] : Contents(archive)) {
            const auto found = backup.find(name);
            if (found == backup.end() || found->second != entry) return false;
        }
        return true;
    } catch (const RuntimeError&) {
        return true; // an archive that cannot be read is no update of its own
    }
}

} // namespace orv::zipkit
