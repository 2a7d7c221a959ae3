#include "update/archive_journal.h"

#include <algorithm>
#include <functional>
#include <utility>

#include <zlib.h>

#include "platform/runtime_error.h"

namespace orv {
namespace {

constexpr std::uint64_t kBlock = 64 * 1024;

// A stretch of the file in a state to come: bytes that a change writes, or the file's own bytes
// at the same place.
struct Piece {
    std::uint64_t at = 0;
    std::uint64_t length = 0;
    std::optional<std::string> bytes;
};
using Layout = std::vector<Piece>;

std::uint64_t SizeOf(const Layout& layout) {
    return layout.empty() ? 0 : layout.back().at + layout.back().length;
}

// The pieces of [from, to).
Layout Slice(const Layout& layout, std::uint64_t from, std::uint64_t to) {
    Layout slice;
    for (const Piece& piece : layout) {
        const std::uint64_t start = std::max(piece.at, from);
        const std::uint64_t end = std::min(piece.at + piece.length, to);
        if (start >= end) continue;
        Piece& part = slice.emplace_back(Piece{start, end - start, std::nullopt});
        if (piece.bytes) {
            part.bytes = piece.bytes->substr(static_cast<std::size_t>(start - piece.at),
                                             static_cast<std::size_t>(end - start));
        }
    }
    return slice;
}

// The file as it stands, or with zeros where it grows to the size.
Layout Extended(Layout layout, std::uint64_t size) {
    const std::uint64_t old = SizeOf(layout);
    if (size > old) {
        layout.push_back(
            {old, size - old, std::string(static_cast<std::size_t>(size - old), '\0')});
    }
    return layout;
}

Layout Written(const Layout& layout, std::uint64_t at, std::string data) {
    const std::uint64_t size = SizeOf(layout);
    const std::uint64_t end = at + data.size();
    Layout next = Extended(Slice(layout, 0, at), at);
    if (!data.empty()) next.push_back({at, data.size(), std::move(data)});
    const Layout rest = Slice(layout, end, size);
    next.insert(next.end(), rest.begin(), rest.end());
    return next;
}

Layout Cut(const Layout& layout, std::uint64_t size) {
    return Extended(Slice(layout, 0, size), size);
}

// The archive's size and CRC-32 were the layout on the disk.
ContentState StateOf(const Layout& layout, InputFile& file, const BlockCrcs& crcs) {
    std::uint32_t crc = CrcContinued(0, nullptr, 0);
    for (const Piece& piece : layout) {
        crc = piece.bytes ? CrcContinued(crc, piece.bytes->data(), piece.bytes->size())
                          : crcs.extend(crc, file, piece.at, piece.length);
    }
    return {SizeOf(layout), crc};
}

// The archive, each change noted in the record before it is made and on the disk before the
// next: the disk never holds a state that the record does not.
class JournaledFile final : public ForwardingRandomAccessFile {
  public:
    JournaledFile(ArchiveJournal& journal, std::unique_ptr<RandomAccessFile> real)
        : ForwardingRandomAccessFile(std::move(real)), journal_(journal) {}

    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        change(Written(Now(), offset, std::string(data, size)), offset, size,
               [&] { inner().writeAt(offset, data, size); });
    }
    void truncate(std::uint64_t size) override {
        change(Cut(Now(), size), size, std::nullopt, [&] { inner().truncate(size); });
    }
    // Every change is on the disk already.
    void sync() override {}

  private:
    Layout Now() { return {Piece{0, inner().size(), std::nullopt}}; }

    void change(const Layout& next, std::uint64_t at, std::optional<std::uint64_t> length,
                const std::function<void()>& make) {
        journal_.note(StateOf(next, inner(), journal_.crcs()));
        journal_.crcs().changed(at, length);
        make();
        inner().sync();
    }

    ArchiveJournal& journal_;
};

} // namespace

BlockCrcs::BlockCrcs(InputFile& file) : whole_{file.size(), CrcContinued(0, nullptr, 0)} {
    // Read in large pieces (few calls, also on a share), each block's CRC kept on its own.
    constexpr std::uint64_t kRead = 16 * kBlock;
    std::vector<char> piece(static_cast<std::size_t>(std::min(kRead, whole_.size)));
    for (std::uint64_t start = 0; start < whole_.size; start += kRead) {
        const auto length = static_cast<std::size_t>(std::min(kRead, whole_.size - start));
        file.readAt(start, piece.data(), length);
        for (std::size_t within = 0; within < length; within += kBlock) {
            const auto size =
                static_cast<std::uint32_t>(std::min<std::size_t>(kBlock, length - within));
            crcs_.push_back(CrcContinued(0, piece.data() + within, size));
            lengths_.push_back(size);
            known_.push_back(true);
            whole_.crc = static_cast<std::uint32_t>(crc32_combine(whole_.crc, crcs_.back(), size));
        }
    }
}

std::uint32_t BlockCrcs::extend(std::uint32_t crc, InputFile& file, std::uint64_t at,
                                std::uint64_t length) const {
    std::vector<char> buffer;
    while (length > 0) {
        const std::uint64_t index = at / kBlock;
        const std::uint64_t within = at % kBlock;
        if (within == 0 && index < crcs_.size()) {
            const auto block = static_cast<std::size_t>(index);
            if (known_[block] && length >= lengths_[block]) {
                crc = static_cast<std::uint32_t>(crc32_combine(crc, crcs_[block], lengths_[block]));
                at += lengths_[block];
                length -= lengths_[block];
                continue;
            }
        }
        const auto size = static_cast<std::size_t>(std::min(length, kBlock - within));
        buffer.resize(size);
        file.readAt(at, buffer.data(), size);
        crc = CrcContinued(crc, buffer.data(), size);
        at += size;
        length -= size;
    }
    return crc;
}

void BlockCrcs::changed(std::uint64_t at, std::optional<std::uint64_t> length) {
    if (length && *length == 0) return;
    const std::uint64_t count = known_.size();
    const auto first = static_cast<std::size_t>(std::min(at / kBlock, count));
    const auto last = static_cast<std::size_t>(
        length ? std::min((at + *length + kBlock - 1) / kBlock, count) : count);
    for (std::size_t block = first; block < last; ++block)
        known_[block] = false;
}

void ArchiveJournal::begin(const std::string& archivePath, const std::string& recordPath) {
    const std::unique_ptr<InputFile> file = inner().openForReading(archivePath);
    BlockCrcs crcs{*file};
    const RunRecord record{crcs.whole(), inner().modificationTime(archivePath), {}};
    try {
        WriteRecord(inner(), recordPath, record);
    } catch (const RuntimeError&) {
        // The archive is not changed without the record on the disk, and no record stays of a
        // run that did not begin.
        try {
            RemoveRecord(inner(), recordPath);
        } catch (const RuntimeError&) {
        }
        throw;
    }
    watched_.emplace(Watched{inner().nativePath(archivePath), recordPath, record, std::move(crcs)});
}

void ArchiveJournal::end() {
    if (!watched_) return;
    RemoveRecord(inner(), watched_->record);
    watched_.reset();
}

std::unique_ptr<RandomAccessFile> ArchiveJournal::openForUpdate(const std::string& path) {
    std::unique_ptr<RandomAccessFile> file = inner().openForUpdate(path);
    if (!watched_ || inner().nativePath(path) != watched_->archive) return file;
    return std::make_unique<JournaledFile>(*this, std::move(file));
}

void ArchiveJournal::note(const ContentState& state) {
    RunRecord& record = watched_->written;
    if (state == record.delivered ||
        std::find(record.states.begin(), record.states.end(), state) != record.states.end()) {
        return;
    }
    RunRecord next = record;
    next.states.push_back(state);
    WriteRecord(inner(), watched_->record, next);
    record = std::move(next);
}

} // namespace orv
