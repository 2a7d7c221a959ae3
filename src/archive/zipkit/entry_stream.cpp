#include "archive/zipkit/entry_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include <libdeflate.h>

#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Four buffers: enough to keep both threads busy, 4 MiB in all; large pieces are few writes.
constexpr std::size_t kPieceCount = 4;

} // namespace

void EntryStream::FreeDecompressor::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

EntryStream::EntryStream(zip_t* archive, std::vector<EntryToRead> entries,
                         std::uint64_t wholeEntryLimit)
    : archive_(archive), entries_(std::move(entries)), wholeEntryLimit_(wholeEntryLimit),
      decompressor_(libdeflate_alloc_decompressor()) {
    if (!decompressor_) throw std::bad_alloc();
    free_.reserve(kPieceCount);
    for (std::size_t i = 0; i < kPieceCount; ++i) {
        free_.emplace_back(kStreamPieceSize);
    }
    try {
        reader_ = std::jthread{[this](const std::stop_token& stop) { read(stop); }};
    } catch (const std::system_error&) {
        // No thread to be had (the system's limits): the call fails before it writes anything.
        throw RuntimeError(err::kZipInternal);
    }
}

EntryStream::~EntryStream() {
    reader_.request_stop();
    reader_.join();
}

const EntryPiece& EntryStream::next() {
    std::unique_lock lock{mutex_};
    while (at_ == current_.segments.size()) {
        if (current_.failure) std::rethrow_exception(current_.failure);
        if (current_.buffer.size() == kStreamPieceSize) {
            free_.push_back(std::move(current_.buffer));
            bufferFree_.notify_one();
        }
        batchReady_.wait(lock, [this] { return !ready_.empty(); });
        current_ = std::move(ready_.front());
        ready_.pop_front();
        at_ = 0;
    }
    const Segment& segment = current_.segments[at_++];
    piece_ = EntryPiece{current_.buffer.data() + segment.offset, segment.size, segment.last};
    return piece_;
}

void EntryStream::read(const std::stop_token& stop) {
    Batch batch;
    try {
        for (const EntryToRead& entry : entries_) {
            if (stop.stop_requested() || !readEntry(stop, entry, batch)) return;
        }
    } catch (...) {
        batch.failure = std::current_exception();
    }
    hand(batch);
}

bool EntryStream::readEntry(const std::stop_token& stop, const EntryToRead& entry, Batch& batch) {
    if (inflatedWhole(entry)) {
        std::size_t handed = 0;
        const auto fill = [&](char* to, std::size_t room) {
            const std::size_t n = std::min(room, whole_.size() - handed);
            if (n == 0) return zip_int64_t{0}; // an empty entry has no data to copy from
            std::memcpy(to, whole_.data() + handed, n);
            handed += n;
            return static_cast<zip_int64_t>(n);
        };
        return handOver(stop, entry, batch, fill, [] { return ZIP_ER_OK; });
    }
    ZipEntryReader reader{zip_fopen_index(archive_, entry.index, 0)};
    if (reader.get() == nullptr) throw ZipError(*zip_get_error(archive_), entry.shown);
    const auto fill = [&](char* to, std::size_t room) {
        const zip_int64_t n = zip_fread(reader.get(), to, room);
        if (n < 0) throw ZipError(*zip_file_get_error(reader.get()), entry.shown);
        return n;
    };
    return handOver(stop, entry, batch, fill, [&] { return CloseEntry(reader); });
}

bool EntryStream::inflatedWhole(const EntryToRead& entry) {
    const EntryRecord& record = entry.record;
    constexpr zip_uint64_t kNeeded =
        ZIP_STAT_COMP_METHOD | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
    if ((record.known & kNeeded) != kNeeded || record.method != ZIP_CM_DEFLATE ||
        record.encryption != ZIP_EM_NONE || record.packedSize > wholeEntryLimit_ ||
        record.size > wholeEntryLimit_) {
        return false;
    }
    // The packed data as the archive holds it, with libzip's checks of the entry's place.
    ZipEntryReader raw{zip_fopen_index(archive_, entry.index, ZIP_FL_COMPRESSED)};
    if (raw.get() == nullptr) throw ZipError(*zip_get_error(archive_), entry.shown);
    packed_.resize(static_cast<std::size_t>(record.packedSize));
    std::size_t read = 0;
    while (read < packed_.size()) {
        const zip_int64_t n = zip_fread(raw.get(), packed_.data() + read, packed_.size() - read);
        if (n < 0) throw ZipError(*zip_file_get_error(raw.get()), entry.shown);
        if (n == 0) throw ErrorAbout(err::kZipDamaged, entry.shown);
        read += static_cast<std::size_t>(n);
    }
    if (const int verdict = CloseEntry(raw); verdict != ZIP_ER_OK)
        throw ZipError(verdict, entry.shown);

    // Exactly as many bytes as declared: more is refused like a bomb, fewer like a cut entry.
    whole_.resize(static_cast<std::size_t>(record.size));
    switch (libdeflate_deflate_decompress(decompressor_.get(), packed_.data(), packed_.size(),
                                          whole_.data(), whole_.size(), nullptr)) {
    case LIBDEFLATE_SUCCESS:
        break;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        throw ErrorAbout(err::kZipTooLarge, entry.shown);
    case LIBDEFLATE_SHORT_OUTPUT:
        throw ErrorAbout(err::kZipDamaged, entry.shown);
    default:
        throw ZipError(ZIP_ER_COMPRESSED_DATA, entry.shown);
    }
    if (libdeflate_crc32(0, whole_.data(), whole_.size()) != record.crc) {
        throw ZipError(ZIP_ER_CRC, entry.shown);
    }
    return true;
}

template <typename Fill, typename End>
bool EntryStream::handOver(const std::stop_token& stop, const EntryToRead& entry, Batch& batch,
                           Fill fill, End end) {
    std::uint64_t total = 0;
    for (;;) {
        if (batch.buffer.empty() && !takeBuffer(stop, batch.buffer)) return false;
        const std::size_t start =
            batch.segments.empty() ? 0 : batch.segments.back().offset + batch.segments.back().size;
        std::size_t filled = start;
        bool ended = false;
        while (filled < batch.buffer.size()) {
            const zip_int64_t n = fill(batch.buffer.data() + filled, batch.buffer.size() - filled);
            if (n == 0) {
                ended = true;
                break;
            }
            filled += static_cast<std::size_t>(n);
            total += static_cast<std::uint64_t>(n);
            if (total > entry.record.size) throw ErrorAbout(err::kZipTooLarge, entry.shown);
        }
        if (ended) {
            const int verdict = end();
            if (verdict != ZIP_ER_OK) throw ZipError(verdict, entry.shown);
            if (total != entry.record.size) throw ErrorAbout(err::kZipDamaged, entry.shown);
        }
        batch.segments.push_back(Segment{start, filled - start, ended});
        if (filled == batch.buffer.size()) hand(batch);
        if (ended) return true;
    }
}

bool EntryStream::takeBuffer(const std::stop_token& stop, std::vector<char>& buffer) {
    std::unique_lock lock{mutex_};
    if (!bufferFree_.wait(lock, stop, [this] { return !free_.empty(); })) return false;
    buffer = std::move(free_.back());
    free_.pop_back();
    return true;
}

void EntryStream::hand(Batch& batch) {
    {
        const std::lock_guard lock{mutex_};
        ready_.push_back(std::move(batch));
    }
    batch = Batch{};
    batchReady_.notify_one();
}

} // namespace orv::zipkit
