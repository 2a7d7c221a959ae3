#include "archive/zipkit/entry_checks.h"

#include <set>

#include "archive/zipkit/entry_path.h"
#include "archive/zipkit/mask.h"
#include "archive/zipkit/zip_errors.h"
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

// The names seen so far, as files and as folders.
class NameRegister {
  public:
    // Registers the stored path; false when it collides with one registered before.
    bool add(const std::string& storedPath) {
        const bool folder = IsFolderEntry(storedPath);
        const std::u32string key = FoldedPath(WithoutFolderMark(storedPath));
        const bool clash = folder ? fileKeys_.count(key) > 0
                                  : fileKeys_.count(key) > 0 || folderKeys_.count(key) > 0;
        if (clash) return false;

        for (std::size_t slash = key.find(U'/'); slash != std::u32string::npos;
             slash = key.find(U'/', slash + 1)) {
            const std::u32string parent = key.substr(0, slash);
            if (fileKeys_.count(parent) > 0) return false;
            folderKeys_.insert(parent);
        }
        (folder ? folderKeys_ : fileKeys_).insert(key);
        return true;
    }

  private:
    std::set<std::u32string> fileKeys_;
    std::set<std::u32string> folderKeys_;
};

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

std::vector<std::size_t> CollidingEntries(const std::vector<std::string>& storedPaths) {
    NameRegister names;
    std::vector<std::size_t> colliding;
    for (std::size_t i = 0; i < storedPaths.size(); ++i) {
        if (!names.add(storedPaths[i])) colliding.push_back(i);
    }
    return colliding;
}

void CheckCollisions(const std::vector<PlannedEntry>& entries) {
    NameRegister names;
    for (const PlannedEntry& entry : entries) {
        if (!names.add(entry.name)) {
            throw ErrorAbout(err::kZipDuplicateName, PrintableName(entry.name));
        }
    }
}

} // namespace orv::zipkit
