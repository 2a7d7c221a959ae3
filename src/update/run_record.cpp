#include "update/run_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <vector>

#include <libdeflate.h>

#include "platform/runtime_error.h"

namespace orv {
namespace {

constexpr std::string_view kFirstLine = "ORVEN-Update: Lauf begonnen";
constexpr std::string_view kDelivered = "Archiv wie geliefert:";
constexpr std::string_view kState = "Stand des Archivs:";

std::string Hex(std::uint32_t crc) {
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%08x", crc);
    return text.data();
}

std::string StateWords(const ContentState& state) {
    return std::to_string(state.size) + " " + Hex(state.crc);
}

// The next word of a line, from at on; empty at its end.
std::string_view NextWord(std::string_view line, std::size_t& at) {
    while (at < line.size() && line[at] == ' ')
        ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ')
        ++at;
    return line.substr(start, at - start);
}

template <typename Number> std::optional<Number> NumberOf(std::string_view word, int base) {
    Number value{};
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<ContentState> StateIn(std::string_view line, std::size_t& at) {
    const auto size = NumberOf<std::uint64_t>(NextWord(line, at), 10);
    const auto crc = NumberOf<std::uint32_t>(NextWord(line, at), 16);
    if (!size || !crc) return std::nullopt;
    return ContentState{*size, *crc};
}

std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\'));
}

std::string StagingPathOf(const std::string& path) {
    const std::size_t nameStart = path.find_last_of('\\') + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".orvtmp";
}

} // namespace

FoundArchive Judge(const RunRecord& record, const ContentState& archive) {
    if (archive == record.delivered) return FoundArchive::Delivery;
    const bool made =
        std::find(record.states.begin(), record.states.end(), archive) != record.states.end();
    return made ? FoundArchive::WorkingCopy : FoundArchive::Other;
}

std::string RecordText(const RunRecord& record) {
    std::string text = std::string(kFirstLine) + "\r\n";
    text += std::string(kDelivered) + " " + StateWords(record.delivered) + " " +
            std::to_string(record.deliveredTime) + "\r\n";
    for (const ContentState& state : record.states)
        text += std::string(kState) + " " + StateWords(state) + "\r\n";
    return text;
}

std::optional<RunRecord> ParseRecord(std::string_view text) {
    const std::vector<std::string_view> lines = LinesOf(text);
    if (lines.size() < 2 || lines[0] != kFirstLine) return std::nullopt;
    RunRecord record;
    bool delivered = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty()) continue;
        const bool isDelivered = line.starts_with(kDelivered);
        if (!isDelivered && !line.starts_with(kState)) return std::nullopt;
        std::size_t at = (isDelivered ? kDelivered : kState).size();
        const std::optional<ContentState> state = StateIn(line, at);
        if (!state) return std::nullopt;
        if (isDelivered) {
            const auto time = NumberOf<FileTime>(NextWord(line, at), 10);
            if (!time || delivered) return std::nullopt;
            record.delivered = *state;
            record.deliveredTime = *time;
            delivered = true;
        } else {
            record.states.push_back(*state);
        }
        if (!NextWord(line, at).empty()) return std::nullopt;
    }
    if (!delivered) return std::nullopt;
    return record;
}

std::optional<RunRecord> ReadRecord(FileSystem& files, const std::string& path) {
    if (!files.fileExists(path)) return std::nullopt;
    const std::unique_ptr<InputFile> file = files.openForReading(path);
    // A record holds a line for each change of the archive, a few dozen at most.
    constexpr std::uint64_t kLongest = 1024 * 1024;
    const std::uint64_t size = file->size();
    if (size > kLongest) throw RuntimeError(err::kPathFileAccess);
    std::string text(static_cast<std::size_t>(size), '\0');
    file->readAt(0, text.data(), text.size());
    std::optional<RunRecord> record = ParseRecord(text);
    if (!record) throw RuntimeError(err::kPathFileAccess);
    return record;
}

void WriteRecord(FileSystem& files, const std::string& path, const RunRecord& record) {
    const std::string staging = StagingPathOf(path);
    const std::string text = RecordText(record);
    try {
        {
            const std::unique_ptr<OutputFile> out = files.createFile(staging);
            out->write(text.data(), text.size());
            out->sync();
            out->close();
        }
        files.replaceFile(staging, path);
    } catch (const RuntimeError&) {
        // The record under its name stays as it was; the half-made one goes.
        try {
            if (files.fileExists(staging)) files.deleteFile(staging);
        } catch (const RuntimeError&) {
        }
        throw;
    }
    files.syncFolder(FolderOf(path));
}

void RemoveRecord(FileSystem& files, const std::string& path) {
    const std::string staging = StagingPathOf(path);
    if (files.fileExists(staging)) files.deleteFile(staging);
    if (files.fileExists(path)) files.deleteFile(path);
    files.syncFolder(FolderOf(path));
}

std::uint32_t CrcContinued(std::uint32_t crc, const char* data, std::size_t size) {
    return libdeflate_crc32(crc, data, size);
}

ContentState ContentOf(FileSystem& files, const std::string& path) {
    const std::unique_ptr<InputFile> file = files.openForReading(path);
    ContentState state{file->size(), 0};
    constexpr std::size_t kBlock = 256 * 1024;
    std::vector<char> block(kBlock);
    for (std::uint64_t at = 0; at < state.size; at += kBlock) {
        const auto size =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, state.size - at));
        file->readAt(at, block.data(), size);
        state.crc = CrcContinued(state.crc, block.data(), size);
    }
    return state;
}

std::string Described(const ContentState& state) {
    return std::to_string(state.size) + " Bytes, CRC " + Hex(state.crc);
}

} // namespace orv
