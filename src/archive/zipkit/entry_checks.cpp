#include "archive/zipkit/entry_checks.h"

#include "archive/entry_path.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Unix file types in the upper half of the external attributes.
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixSymbolicLink = 0120000;

bool IsSymbolicLink(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        return false;
    }
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kUnixTypeMask) == kUnixSymbolicLink;
}

} // namespace

PlannedEntry CheckEntry(zip_t* archive, zip_uint64_t index, const std::string& name,
                        const std::string& targetFolder) {
    const std::string shown = PrintableName(name);
    if (!IsSafeEntryPath(name)) throw ErrorAbout(err::kZipUnsafeEntry, shown);
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    if (raw == nullptr || HasControlCharacter(raw)) {
        throw ErrorAbout(err::kZipUnsafeEntry, PrintableName(raw == nullptr ? name : raw));
    }
    if (IsSymbolicLink(archive, index)) throw ErrorAbout(err::kZipSymbolicLink, shown);

    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0) {
        throw ZipError(*zip_get_error(archive), shown);
    }
    PlannedEntry entry;
    entry.index = index;
    entry.name = name;
    entry.target = targetFolder + WindowsRelativePath(name);
    entry.folder = IsFolderEntry(name);
    if ((stat.valid & ZIP_STAT_MTIME) != 0) entry.modified = stat.mtime;
    if (entry.folder) return entry;

    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
        throw ErrorAbout(err::kZipEncrypted, shown);
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) == 0 ||
        (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE)) {
        throw ErrorAbout(err::kZipUnsupported, shown);
    }
    if ((stat.valid & ZIP_STAT_SIZE) == 0) throw ErrorAbout(err::kZipDamaged, shown);
    entry.size = stat.size;
    return entry;
}

void CheckCollisions(const std::vector<PlannedEntry>& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const PlannedEntry& entry : entries) {
        names.push_back(entry.name);
    }
    const std::vector<std::size_t> colliding = CollidingEntries(names);
    if (!colliding.empty()) {
        throw ErrorAbout(err::kZipDuplicateName, PrintableName(entries[colliding.front()].name));
    }
}

} // namespace orv::zipkit
