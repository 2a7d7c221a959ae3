#include "archive/zipkit/reduced_copy.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include <zip.h>

#include "archive/zipkit/central_directory.h"
#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/zip_archive.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

using Contents = std::map<std::string, std::pair<zip_uint32_t, zip_uint64_t>>;

// Each entry's raw name with its checksum and size.
Contents ContentsOf(FileSystem& files, const std::string& path) {
    const ZipArchive archive = OpenArchive(files, path);
    Contents contents;
    for (const ListedEntry& entry : ListEntries(archive.get(), ZIP_FL_ENC_RAW)) {
        contents[entry.name] = {entry.record.crc, entry.record.size};
    }
    return contents;
}

// The backup's entries with fewer of them in the archive: what removals leave of it.
bool IsProperPart(const Contents& archive, const Contents& backup) {
    if (archive.size() >= backup.size()) return false;
    return std::all_of(archive.begin(), archive.end(), [&backup](const auto& entry) {
        const auto found = backup.find(entry.first);
        return found != backup.end() && found->second == entry.second;
    });
}

// True when the archive holds the backup's bytes up to where the backup's central directory
// begins: the entries' data, which a removal never touches, while the directory behind it is
// what an interrupted removal left unreadable. A removal of every entry writes the new end
// record at the very start instead; those bytes are passed over when they begin like one.
bool HoldsTheBackupsData(FileSystem& files, const std::string& archivePath,
                         const std::string& backupPath) {
    const std::unique_ptr<InputFile> backup = files.openForReading(backupPath);
    const CentralDirectory directory = ReadCentralDirectory(*backup, backupPath);
    const std::uint64_t dataEnd = directory.offset;
    const std::unique_ptr<InputFile> archive = files.openForReading(archivePath);
    if (archive->size() < dataEnd) return false;

    constexpr std::array<char, 4> kEndSignature{'P', 'K', 5, 6};
    std::array<char, 4> start{};
    std::uint64_t from = 0;
    if (dataEnd >= directory.endRecord.size() + start.size()) {
        archive->readAt(0, start.data(), start.size());
        if (start == kEndSignature) from = directory.endRecord.size();
    }

    constexpr std::size_t kBlock = 256 * 1024;
    std::vector<char> ours(kBlock);
    std::vector<char> theirs(kBlock);
    for (std::uint64_t at = from; at < dataEnd; at += kBlock) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, dataEnd - at));
        archive->readAt(at, ours.data(), size);
        backup->readAt(at, theirs.data(), size);
        if (!std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(size),
                        theirs.begin())) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsReducedCopyOf(FileSystem& files, const std::string& archivePath,
                     const std::string& backupPath) {
    Contents backup;
    try {
        backup = ContentsOf(files, backupPath);
    } catch (const RuntimeError&) {
        return false; // a damaged backup is nothing to put back
    }
    Contents archive;
    try {
        archive = ContentsOf(files, archivePath);
    } catch (const RuntimeError&) {
        try {
            return HoldsTheBackupsData(files, archivePath, backupPath);
        } catch (const RuntimeError&) {
            return false;
        }
    }
    return IsProperPart(archive, backup);
}

} // namespace orv::zipkit
