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

PlannedEntry CheckEntry(zip_t* archive, const ListedEntry& listed,
                        const std::string& targetFolder) {
    const std::string& name = listed.name;
    const std::string shown = PrintableName(name);
    if (!IsSafeEntryPath(name)) throw ErrorAbout(err::kZipUnsafeEntry, shown);
    const char* raw = zip_get_name(archive, listed.index, ZIP_FL_ENC_RAW);
    if (raw == nullptr || HasControlCharacter(raw)) {
        throw ErrorAbout(err::kZipUnsafeEntry, PrintableName(raw == nullptr ? name : raw));
    }
    if (IsSymbolicLink(archive, listed.index)) throw ErrorAbout(err::kZipSymbolicLink, shown);

    const EntryRecord& record = listed.record;
    PlannedEntry entry;
    entry.index = listed.index;
    entry.name = name;
    entry.target = targetFolder + WindowsRelativePath(name);
    entry.folder = IsFolderEntry(name);
    entry.record = record;
    if ((record.known & ZIP_STAT_MTIME) != 0) entry.modified = record.modified;
    if (entry.folder) return entry;

    if ((record.known & ZIP_STAT_ENCRYPTION_METHOD) != 0 && record.encryption != ZIP_EM_NONE) {
        throw ErrorAbout(err::kZipEncrypted, shown);
    }
    if ((record.known & ZIP_STAT_COMP_METHOD) == 0 ||
        (record.method != ZIP_CM_STORE && record.method != ZIP_CM_DEFLATE)) {
        throw ErrorAbout(err::kZipUnsupported, shown);
    }
    if ((record.known & ZIP_STAT_SIZE) == 0) throw ErrorAbout(err::kZipDamaged, shown);
    entry.size = record.size;
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
