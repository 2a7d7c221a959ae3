#pragma once
// Unpacking entries on a thread of its own, so that inflating one part of an archive and
// writing the part before it to disk overlap on two cores.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <zip.h>

#include "archive/zipkit/entry_listing.h"

struct libdeflate_decompressor;

namespace orv::zipkit {

struct EntryToRead {
    zip_uint64_t index = 0;
    EntryRecord record; // as the directory lists it: the declared size, how the data is packed
    std::string shown;  // the name for error texts
};

// One piece of an entry's data, in order.
struct EntryPiece {
    const char* data = nullptr;
    std::size_t size = 0; // bytes at data
    bool last = false;    // the entry's final piece: its length and checksum are correct
};

// The size of the pieces handed over: an entry's data comes in pieces of this size and a
// last one; small entries share a piece.
inline constexpr std::size_t kStreamPieceSize = 1024 * 1024;

// Entries up to this size (packed and unpacked) are inflated in one call, two to three times
// faster than through zlib's stream; larger ones stream, so that memory stays bounded.
inline constexpr std::uint64_t kWholeEntryLimit = 8 * 1024 * 1024;

// Reads the given entries one after another, each in full, with libzip's checks and ours: no
// more bytes than the entry declares (a small entry must not unpack into a huge file), no fewer,
// and the checksum. Memory stays bounded: the reader waits while all its buffers are handed over.
// Small entries share a buffer, so that the two threads meet once per buffer, not per entry.
// The archive must not be used by anyone else until the stream is gone.
class EntryStream {
  public:
    EntryStream(zip_t* archive, std::vector<EntryToRead> entries,
                std::uint64_t wholeEntryLimit = kWholeEntryLimit);
    // Stops the reader where it is and waits for it.
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // The next piece of the current entry, valid until the next call. Raises the entry's error
    // (RuntimeError) where it could not be read, at the point where its data ends.
    const EntryPiece& next();

  private:
    struct Segment {
        std::size_t offset = 0;
        std::size_t size = 0;
        bool last = false;
    };
    // A buffer handed over: the pieces in it in order and, after them, the error that ended the
    // reading, if one did.
    struct Batch {
        std::vector<char> buffer;
        std::vector<Segment> segments;
        std::exception_ptr failure;
    };

    void read(const std::stop_token& stop);
    // Reads the entry into the batch, handing over every buffer that it fills; false when the
    // stream is stopped meanwhile.
    bool readEntry(const std::stop_token& stop, const EntryToRead& entry, Batch& batch);
    // Whether the entry is inflated in one call; reads its data into whole_ if so.
    bool inflatedWhole(const EntryToRead& entry);
    // Hands over what fill() gives, until it gives nothing more, then end()'s verdict.
    template <typename Fill, typename End>
    bool handOver(const std::stop_token& stop, const EntryToRead& entry, Batch& batch, Fill fill,
                  End end);
    bool takeBuffer(const std::stop_token& stop, std::vector<char>& buffer);
    void hand(Batch& batch);

    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* decompressor) const;
    };

    zip_t* archive_;
    const std::vector<EntryToRead> entries_;
    const std::uint64_t wholeEntryLimit_;
    // The reader's own: an entry inflated in one call, packed and unpacked.
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor_;
    std::vector<char> packed_;
    std::vector<char> whole_;
    std::mutex mutex_;
    std::condition_variable_any bufferFree_;
    std::condition_variable batchReady_;
    std::vector<std::vector<char>> free_;
    std::deque<Batch> ready_;
    Batch current_;
    std::size_t at_ = 0; // the next segment of current_
    EntryPiece piece_;
    // Last, so that it starts when everything else exists and is stopped before it goes.
    std::jthread reader_;
};

} // namespace orv::zipkit
