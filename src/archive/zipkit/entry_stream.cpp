#include "archive/zipkit/entry_stream.h"

#include <system_error>
#include <utility>

#include "archive/zipkit/zip_archive.h"
#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// Eight pieces of 128 KiB: enough to keep both threads busy, 1 MiB in all.
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
    if (current_.buffer.size() == kPieceSize) {
        free_.push_back(std::move(current_.buffer));
        bufferFree_.notify_one();
    }
    pieceReady_.wait(lock, [this] { return !ready_.empty(); });
    current_ = std::move(ready_.front());
    ready_.pop_front();
    if (current_.failure) std::rethrow_exception(current_.failure);
    return current_;
}

void EntryStream::read(const std::stop_token& stop) {
    try {
        for (const EntryToRead& entry : entries_) {
            if (stop.stop_requested()) return;
            readEntry(stop, entry);
        }
    } catch (...) {
        hand(EntryPiece{{}, 0, true, std::current_exception()});
    }
}

void EntryStream::readEntry(const std::stop_token& stop, const EntryToRead& entry) {
    ZipEntryReader reader{zip_fopen_index(archive_, entry.index, 0)};
    if (reader.get() == nullptr) throw ZipError(*zip_get_error(archive_), entry.shown);

    std::uint64_t total = 0;
    bool ended = false;
    while (!ended) {
        std::vector<char> buffer;
        if (!takeBuffer(stop, buffer)) return;
        std::size_t filled = 0;
        while (filled < buffer.size()) {
            const zip_int64_t n =
                zip_fread(reader.get(), buffer.data() + filled, buffer.size() - filled);
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
        hand(EntryPiece{std::move(buffer), filled, ended, {}});
    }
}

bool EntryStream::takeBuffer(const std::stop_token& stop, std::vector<char>& buffer) {
    std::unique_lock lock{mutex_};
    if (!bufferFree_.wait(lock, stop, [this] { return !free_.empty(); })) return false;
    buffer = std::move(free_.back());
    free_.pop_back();
    return true;
}

void EntryStream::hand(EntryPiece piece) {
    {
        const std::lock_guard lock{mutex_};
        ready_.push_back(std::move(piece));
    }
    pieceReady_.notify_one();
}

} // namespace orv::zipkit
