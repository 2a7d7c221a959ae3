#include "archive/zipkit/central_directory.h"

#include <algorithm>
#include <array>

#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

constexpr std::uint32_t kDirectorySignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr std::size_t kDirectoryFixedSize = 46;
constexpr std::size_t kEndFixedSize = 22;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::size_t kLocatorSize = 20;
// The zip64 end record without extensible data: its size field counts what follows it.
constexpr std::size_t kZip64EndSize = 56;
constexpr std::uint64_t kZip64EndFollowing = kZip64EndSize - 12;

constexpr std::uint16_t kMax16 = 0xFFFF;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;

// Field offsets in the end record.
constexpr std::size_t kEndDisk = 4;
constexpr std::size_t kEndDirectoryDisk = 6;
constexpr std::size_t kEndEntriesOnDisk = 8;
constexpr std::size_t kEndEntries = 10;
constexpr std::size_t kEndDirectorySize = 12;
constexpr std::size_t kEndDirectoryOffset = 16;
constexpr std::size_t kEndCommentSize = 20;

// Field offsets in the zip64 end record and its locator.
constexpr std::size_t kZip64Disk = 16;
constexpr std::size_t kZip64DirectoryDisk = 20;
constexpr std::size_t kZip64EntriesOnDisk = 24;
constexpr std::size_t kZip64Entries = 32;
constexpr std::size_t kZip64DirectorySize = 40;
constexpr std::size_t kZip64DirectoryOffset = 48;
constexpr std::size_t kLocatorDisk = 4;
constexpr std::size_t kLocatorEndOffset = 8;
constexpr std::size_t kLocatorDisks = 16;

// Field offsets in a directory record.
constexpr std::size_t kRecordNameSize = 28;
constexpr std::size_t kRecordExtraSize = 30;
constexpr std::size_t kRecordCommentSize = 32;

std::uint64_t Read(const std::vector<char>& bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i - 1]);
    }
    return value;
}

std::uint16_t Read16(const std::vector<char>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(Read(bytes, at, 2));
}
std::uint32_t Read32(const std::vector<char>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(Read(bytes, at, 4));
}
std::uint64_t Read64(const std::vector<char>& bytes, std::size_t at) {
    return Read(bytes, at, 8);
}

void Write(std::vector<char>& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

std::vector<char> ReadBytes(InputFile& file, std::uint64_t offset, std::uint64_t size) {
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (size > 0) file.readAt(offset, bytes.data(), bytes.size());
    return bytes;
}

RuntimeError Unsupported(const std::string& subject) {
    return ErrorAbout(err::kZipUnsupported, subject);
}

RuntimeError Damaged(const std::string& subject) {
    return ErrorAbout(err::kZipDamaged, subject);
}

// The position of the end record: the last one whose comment reaches exactly to the end of
// the file. A file with anything after its comment is refused.
std::uint64_t FindEndRecord(InputFile& file, std::uint64_t fileSize, const std::string& subject) {
    if (fileSize < kEndFixedSize) throw ErrorAbout(err::kZipNotAnArchive, subject);
    const std::uint64_t tailSize =
        std::min<std::uint64_t>(fileSize, kEndFixedSize + kMaxCommentSize);
    const std::uint64_t tailStart = fileSize - tailSize;
    const std::vector<char> tail = ReadBytes(file, tailStart, tailSize);
    for (std::size_t at = tail.size() - kEndFixedSize + 1; at-- > 0;) {
        if (Read32(tail, at) != kEndSignature) continue;
        if (at + kEndFixedSize + Read16(tail, at + kEndCommentSize) == tail.size()) {
            return tailStart + at;
        }
    }
    throw Unsupported(subject);
}

struct DirectoryPlace {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t entries = 0;
    std::uint64_t end = 0; // where the directory must end: the first end record
};

// Reads the zip64 end record that the locator before the end record points to.
std::vector<char> ReadZip64End(InputFile& file, std::uint64_t endAt, DirectoryPlace& place,
                               const std::string& subject) {
    const std::uint64_t locatorAt = endAt - kLocatorSize;
    const std::vector<char> locator = ReadBytes(file, locatorAt, kLocatorSize);
    const std::uint64_t zip64At = Read64(locator, kLocatorEndOffset);
    if (Read32(locator, kLocatorDisk) != 0 || Read32(locator, kLocatorDisks) > 1 ||
        locatorAt < kZip64EndSize || zip64At != locatorAt - kZip64EndSize) {
        throw Unsupported(subject);
    }
    std::vector<char> record = ReadBytes(file, zip64At, kZip64EndSize);
    if (Read32(record, 0) != kZip64EndSignature || Read64(record, 4) != kZip64EndFollowing ||
        Read32(record, kZip64Disk) != 0 || Read32(record, kZip64DirectoryDisk) != 0 ||
        Read64(record, kZip64EntriesOnDisk) != Read64(record, kZip64Entries)) {
        throw Unsupported(subject);
    }
    place.offset = Read64(record, kZip64DirectoryOffset);
    place.size = Read64(record, kZip64DirectorySize);
    place.entries = Read64(record, kZip64Entries);
    place.end = zip64At;
    record.insert(record.end(), locator.begin(), locator.end());
    return record;
}

// A 16- or 32-bit field of the end record agrees with the zip64 value, or says "see zip64".
bool Agrees(std::uint64_t field, std::uint64_t marker, std::uint64_t value) {
    return field == marker || field == value;
}

std::vector<DirectoryRecord> SplitRecords(const std::vector<char>& records, std::uint64_t expected,
                                          const std::string& subject) {
    std::vector<DirectoryRecord> entries;
    std::size_t at = 0;
    while (at < records.size()) {
        if (records.size() - at < kDirectoryFixedSize ||
            Read32(records, at) != kDirectorySignature) {
            throw Damaged(subject);
        }
        const std::size_t length = kDirectoryFixedSize + Read16(records, at + kRecordNameSize) +
                                   Read16(records, at + kRecordExtraSize) +
                                   Read16(records, at + kRecordCommentSize);
        if (length > records.size() - at) throw Damaged(subject);
        entries.push_back({at, length});
        at += length;
    }
    if (entries.size() != expected) throw Damaged(subject);
    return entries;
}

} // namespace

CentralDirectory ReadCentralDirectory(InputFile& file, const std::string& subject) {
    const std::uint64_t fileSize = file.size();
    const std::uint64_t endAt = FindEndRecord(file, fileSize, subject);
    CentralDirectory directory;
    directory.endRecord = ReadBytes(file, endAt, fileSize - endAt);
    const std::vector<char>& end = directory.endRecord;
    if (Read16(end, kEndDisk) != 0 || Read16(end, kEndDirectoryDisk) != 0 ||
        Read16(end, kEndEntriesOnDisk) != Read16(end, kEndEntries)) {
        throw Unsupported(subject);
    }

    DirectoryPlace place{Read32(end, kEndDirectoryOffset), Read32(end, kEndDirectorySize),
                         Read16(end, kEndEntries), endAt};
    const bool hasLocator =
        endAt >= kLocatorSize &&
        Read32(ReadBytes(file, endAt - kLocatorSize, 4), 0) == kZip64LocatorSignature;
    if (hasLocator) {
        directory.zip64EndRecord = ReadZip64End(file, endAt, place, subject);
        if (!Agrees(Read16(end, kEndEntries), kMax16, place.entries) ||
            !Agrees(Read32(end, kEndDirectorySize), kMax32, place.size) ||
            !Agrees(Read32(end, kEndDirectoryOffset), kMax32, place.offset)) {
            throw Damaged(subject);
        }
    } else if (Read16(end, kEndEntries) == kMax16 || Read32(end, kEndDirectorySize) == kMax32 ||
               Read32(end, kEndDirectoryOffset) == kMax32) {
        throw Unsupported(subject); // zip64 sizes without the zip64 records
    }
    // Data before the archive (a self-extractor) or between directory and end record would
    // move with the rewrite; such archives are left alone.
    if (place.offset > place.end || place.end - place.offset != place.size) {
        throw Unsupported(subject);
    }

    directory.offset = place.offset;
    directory.records = ReadBytes(file, place.offset, place.size);
    directory.entries = SplitRecords(directory.records, place.entries, subject);
    return directory;
}

std::size_t RewriteWithout(RandomAccessFile& file, const CentralDirectory& directory,
                           const std::vector<bool>& drop, PercentProgress& progress) {
    const std::size_t count = directory.entries.size();
    if (drop.size() != count) throw RuntimeError(err::kZipInternal);
    const std::size_t removed =
        static_cast<std::size_t>(std::count(drop.begin(), drop.end(), true));
    if (removed == 0) return 0;

    std::vector<char> out;
    out.reserve(directory.records.size() + kZip64EndSize + kLocatorSize +
                directory.endRecord.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (!drop[i]) {
            const DirectoryRecord& record = directory.entries[i];
            const auto first =
                directory.records.begin() + static_cast<std::ptrdiff_t>(record.offset);
            out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(record.length));
        }
        progress.advance(i + 1, 2 * count);
    }
    const std::uint64_t kept = count - removed;
    const std::uint64_t size = out.size();
    // Without entries the archive is the end record alone (Info-ZIP refuses an empty directory
    // that stands behind data), so it moves to the start of the file.
    const std::uint64_t at = kept == 0 ? 0 : directory.offset;

    // The new counts and size are never larger than the old ones, so every field keeps its
    // width; a field that said "see zip64" goes on saying so while there are entries.
    const auto narrow = [kept](std::uint64_t old, std::uint64_t marker, std::uint64_t value) {
        return old == marker && kept > 0 ? marker : value;
    };
    if (directory.zip64EndRecord && kept > 0) {
        std::vector<char> zip64 = *directory.zip64EndRecord;
        Write(zip64, kZip64EntriesOnDisk, kept, 8);
        Write(zip64, kZip64Entries, kept, 8);
        Write(zip64, kZip64DirectorySize, size, 8);
        Write(zip64, kZip64EndSize + kLocatorEndOffset, at + size, 8);
        out.insert(out.end(), zip64.begin(), zip64.end());
    }
    std::vector<char> end = directory.endRecord;
    Write(end, kEndEntriesOnDisk, narrow(Read16(end, kEndEntriesOnDisk), kMax16, kept), 2);
    Write(end, kEndEntries, narrow(Read16(end, kEndEntries), kMax16, kept), 2);
    Write(end, kEndDirectorySize, narrow(Read32(end, kEndDirectorySize), kMax32, size), 4);
    Write(end, kEndDirectoryOffset, narrow(Read32(end, kEndDirectoryOffset), kMax32, at), 4);
    out.insert(out.end(), end.begin(), end.end());

    // First the old end record loses its signature: from here until the new one is complete
    // no reader finds an archive. Then the new directory and end records, then the cut. When a
    // write fails, the old bytes go back, so that the rest of the run still has its archive.
    // A power cut keeps any part of the changes made since the last sync, in any order; the
    // syncs leave it no part that a reader takes for a whole archive other than the old or the
    // new one: the erased signature is on the disk before the new records are written (a new
    // end record at the start of the file would otherwise stand before the old, whole
    // directory), and the new records before the cut (a cut alone would leave the start of the
    // data, nothing that says it belongs to the backup).
    const std::uint64_t oldEndAt = directory.offset + directory.records.size() +
                                   (directory.zip64EndRecord ? kZip64EndSize + kLocatorSize : 0);
    const std::uint64_t oldSize = oldEndAt + directory.endRecord.size();
    const std::vector<char> overwritten = ReadBytes(file, at, out.size());
    constexpr std::array<char, 4> kErased{};
    try {
        file.writeAt(oldEndAt, kErased.data(), kErased.size());
        file.sync();
        file.writeAt(at, out.data(), out.size());
        file.sync();
        progress.advance(2 * count - 1, 2 * count);
        file.truncate(at + out.size());
    } catch (const RuntimeError&) {
        try {
            std::vector<char> tail = directory.records;
            if (directory.zip64EndRecord) {
                tail.insert(tail.end(), directory.zip64EndRecord->begin(),
                            directory.zip64EndRecord->end());
            }
            tail.insert(tail.end(), directory.endRecord.begin(), directory.endRecord.end());
            // The start of the file is whole again before the old end record comes back.
            file.writeAt(at, overwritten.data(), overwritten.size());
            file.sync();
            file.writeAt(directory.offset, tail.data(), tail.size());
            file.truncate(oldSize);
        } catch (const RuntimeError&) {
            // The file stays unreadable; the updater puts its backup back.
        }
        throw;
    }
    return removed;
}

} // namespace orv::zipkit
