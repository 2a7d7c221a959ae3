#include "archive/zipkit/entry_stream.h"

#include <system_error>
#include <utility>

#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Eight buffers of 128 KiB: enough to keep both threads busy, 1 MiB in all.
constexpr std::size_t kPieceSize = 128 * 1024;
constexpr std::size_t kPieceCount = 8;

} // namespace

EntryStream::EntryStream(zip_t* archive, std::vector<EntryToRead> entries)
    : archive_(archive), entries_(std::move(entries)) {
    free_.reserve(kPieceCount);
    for (std::size_t i = 0; i < kPieceCount; ++i) {
        free_.emplace_back(kPieceSize);
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
        if (current_.buffer.size() == kPieceSize) {
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
    ZipEntryReader reader{zip_fopen_index(archive_, entry.index, 0)};
    if (reader.get() == nullptr) throw ZipError(*zip_get_error(archive_), entry.shown);

    std::uint64_t total = 0;
    for (;;) {
        if (batch.buffer.empty() && !takeBuffer(stop, batch.buffer)) return false;
        const std::size_t start =
            batch.segments.empty() ? 0 : batch.segments.back().offset + batch.segments.back().size;
        std::size_t filled = start;
        bool ended = false;
        while (filled < batch.buffer.size()) {
            const zip_int64_t n =
                zip_fread(reader.get(), batch.buffer.data() + filled, batch.buffer.size() - filled);
            if (n < 0) throw ZipError(*zip_file_get_error(reader.get()), entry.shown);
            if (n == 0) {
                ended = true;
                break;
            }
            filled += static_cast<std::size_t>(n);
            total += static_cast<std::uint64_t>(n);
            if (total > entry.size) throw ErrorAbout(err::kZipTooLarge, entry.shown);
        }
        if (ended) {
            const int verdict = reader.close();
            if (verdict != ZIP_ER_OK) throw ZipError(verdict, entry.shown);
            if (total != entry.size) throw ErrorAbout(err::kZipDamaged, entry.shown);
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
