#include "archive/zipkit/archive_contents.h"

#include "archive/zipkit/entry_path.h"
#include "archive/zipkit/target_path.h"
#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {

std::vector<std::string> EntryNames(FileSystem& files, const std::string& archivePath) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        const char* stored = zip_get_name(archive.get(), index, ZIP_FL_ENC_GUESS);
        if (stored == nullptr) {
            throw ZipError(*zip_get_error(archive.get()), "#" + std::to_string(index));
        }
        names.emplace_back(stored);
    }
    return names;
}

std::string PlacedPath(const std::string& targetDir, const std::string& archivePath,
                       const std::string& storedPath) {
    return TargetFolder(targetDir, archivePath) + WindowsRelativePath(storedPath);
}

} // namespace orv::zipkit
