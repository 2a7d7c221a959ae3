#include "archive/zipkit/removal.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "archive/entry_path.h"
#include "archive/mask.h"
#include "archive/zipkit/central_directory.h"
#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {
namespace {

// Which entries the mask removes, in directory order, with names read as everywhere else in
// this component. libzip checks the archive on the way.
std::vector<bool> EntriesToRemove(FileSystem& files, KeptArchive& kept,
                                  const std::string& archivePath, const std::string& mask) {
    const KeptArchive::Lease archive = kept.open(files, archivePath);
    std::vector<bool> drop;
    for (const ListedEntry& entry : archive.entries(ZIP_FL_ENC_GUESS, archivePath)) {
        drop.push_back(MaskMatches(mask, WithoutFolderMark(entry.name)));
    }
    return drop;
}

} // namespace

std::size_t RemoveMatching(FileSystem& files, KeptArchive& kept, const std::string& archivePath,
                           const std::string& mask, PercentProgress& progress) {
    const std::vector<bool> drop = EntriesToRemove(files, kept, archivePath, mask);
    if (std::find(drop.begin(), drop.end(), true) == drop.end()) return 0; // file left untouched

    const std::unique_ptr<RandomAccessFile> file = files.openForUpdate(archivePath);
    const CentralDirectory directory = ReadCentralDirectory(*file, archivePath);
    // libzip and the directory must agree on the entries, or the flags would hit the wrong ones.
    if (directory.entries.size() != drop.size()) throw ErrorAbout(err::kZipDamaged, archivePath);
    const std::size_t removed = RewriteWithout(*file, directory, drop, progress);
    kept.removed(archivePath, directory, drop, *file);
    file->close();
    return removed;
}

} // namespace orv::zipkit
