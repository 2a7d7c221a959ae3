#pragma once
// The record of a run, beside the archive in the update folder: which delivery the run works on
// and every state in which its changes may leave the archive on the disk. It is on the disk
// before the archive first changes and goes last, once the archive is back as delivered; a
// record found at the start tells that the run before was interrupted, and what the archive
// found is: the delivery, what that run made of it, or something delivered since.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace orv {

// A file's contents as the record tells them apart: the size and the CRC-32 of the bytes.
struct ContentState {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const ContentState&) const = default;
};

struct RunRecord {
    ContentState delivered;
    FileTime deliveredTime = 0;
    // Every state in which a change of the run may have left the archive on the disk, each
    // noted before the change was made.
    std::vector<ContentState> states;
};

// What an archive found beside the record of an interrupted run is.
enum class FoundArchive {
    Delivery,    // the recorded delivery: the run was cut before it changed the archive
    WorkingCopy, // what the run's changes made of the delivery
    Other,       // anything else: delivered since, whole or damaged
};

FoundArchive Judge(const RunRecord& record, const ContentState& archive);

// The record's text: lines a person can read, and the same again from it; none for a text that
// is not a record.
std::string RecordText(const RunRecord& record);
std::optional<RunRecord> ParseRecord(std::string_view text);

// The record at the path; none when there is none. A file that is no record raises 75.
std::optional<RunRecord> ReadRecord(FileSystem& files, const std::string& path);
// Writes the record complete under a staging name beside it, puts it on the disk, names it and
// puts the folder's names on the disk.
void WriteRecord(FileSystem& files, const std::string& path, const RunRecord& record);
// Removes the record (and a staging file left by a write cut short) and puts the folder's names
// on the disk.
void RemoveRecord(FileSystem& files, const std::string& path);

// The CRC-32 of data that follows data with the given CRC (0 before the first byte).
std::uint32_t CrcContinued(std::uint32_t crc, const char* data, std::size_t size);

// Reads the whole file.
ContentState ContentOf(FileSystem& files, const std::string& path);

// "1234 Bytes, CRC 89abcdef", for the log.
std::string Described(const ContentState& state);

} // namespace orv
