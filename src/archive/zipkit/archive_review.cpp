#include "archive/zipkit/zipkit.h"

#include <memory>

#include <zip.h>

#include "archive/entry_path.h"
#include "archive/zipkit/central_directory.h"
#include "archive/zipkit/entry_checks.h"
#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/entry_stream.h"
#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {
namespace {

// Reads the files' data in order, as an extraction does: toRead are the files that passed the
// checks, at these positions among the reviews. A stream stops at an entry it cannot read, so the
// entries after it get a stream of their own.
void ReadThrough(zip_t* archive, const std::vector<EntryToRead>& toRead,
                 const std::vector<std::size_t>& positions, std::vector<EntryReview>& reviews) {
    std::size_t next = 0;
    while (next < toRead.size()) {
        EntryStream stream{archive,
                           {toRead.begin() + static_cast<std::ptrdiff_t>(next), toRead.end()}};
        for (; next < toRead.size(); ++next) {
            try {
                while (!stream.next().last) {
                }
            } catch (const RuntimeError& error) {
                reviews[positions[next]].refusal = error;
                ++next;
                break;
            }
        }
    }
}

} // namespace

std::vector<EntryReview> ReviewEntries(FileSystem& files, const std::string& archivePath) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    const std::vector<ListedEntry> listing = ListEntries(archive.get());
    std::vector<EntryReview> reviews;
    reviews.reserve(listing.size());
    std::vector<EntryToRead> toRead;
    std::vector<std::size_t> positions;
    for (const ListedEntry& listed : listing) {
        EntryReview& review = reviews.emplace_back(
            EntryReview{listed.index, listed.name, IsFolderEntry(listed.name), {}});
        try {
            const PlannedEntry entry = CheckEntry(archive.get(), listed, "");
            if (entry.folder) continue;
            toRead.push_back({entry.index, entry.record, PrintableName(entry.name)});
            positions.push_back(reviews.size() - 1);
        } catch (const RuntimeError& error) {
            review.refusal = error;
        }
    }
    ReadThrough(archive.get(), toRead, positions, reviews);
    return reviews;
}

std::string ReadEntryStart(FileSystem& files, const std::string& archivePath, std::uint64_t index,
                           std::size_t limit) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    std::string shown = "#";
    shown += std::to_string(index);
    ZipEntryReader reader{zip_fopen_index(archive.get(), index, 0)};
    if (reader.get() == nullptr) throw ZipError(*zip_get_error(archive.get()), shown);
    std::string data(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        const zip_int64_t n = zip_fread(reader.get(), data.data() + filled, limit - filled);
        if (n < 0) throw ZipError(*zip_file_get_error(reader.get()), shown);
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    data.resize(filled);
    return data;
}

void CheckRemovable(FileSystem& files, const std::string& archivePath) {
    const ZipArchive archive = OpenArchive(files, archivePath);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    const std::unique_ptr<InputFile> file = files.openForReading(archivePath);
    const CentralDirectory directory = ReadCentralDirectory(*file, archivePath);
    // As the removal does: libzip and the directory must agree on the entries.
    if (directory.entries.size() != static_cast<std::size_t>(count)) {
        throw ErrorAbout(err::kZipDamaged, archivePath);
    }
}

} // namespace orv::zipkit
