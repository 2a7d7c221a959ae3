#pragma once
// The platforms' files opened for reading and writing at explicit offsets: every failure names
// the operation and the file as the updater named it; the platform gives the bare operations.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/runtime_error.h"

namespace orv {

class PlacedRandomAccessFile : public RandomAccessFile {
  public:
    explicit PlacedRandomAccessFile(std::string path) : path_(std::move(path)) {}

    std::uint64_t size() final {
        return PlacedAt("Größe lesen", path_, [&] { return bareSize(); });
    }
    void readAt(std::uint64_t offset, char* data, std::size_t size) final {
        PlacedAt("Lesen", path_, [&] { bareReadAt(offset, data, size); });
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) final {
        PlacedAt("Schreiben", path_, [&] { bareWriteAt(offset, data, size); });
    }
    void truncate(std::uint64_t size) final {
        PlacedAt("Kürzen", path_, [&] { bareTruncate(size); });
    }
    void sync() final {
        PlacedAt("Auf den Datenträger schreiben", path_, [&] { bareSync(); });
    }
    void close() final {
        PlacedAt("Schließen", path_, [&] { bareClose(); });
    }

  protected:
    virtual std::uint64_t bareSize() = 0;
    // All of it, or the error; past the end: kPastEndOfFile.
    virtual void bareReadAt(std::uint64_t offset, char* data, std::size_t size) = 0;
    virtual void bareWriteAt(std::uint64_t offset, const char* data, std::size_t size) = 0;
    virtual void bareTruncate(std::uint64_t size) = 0;
    virtual void bareSync() = 0;
    // Closing a closed file does nothing.
    virtual void bareClose() = 0;

  private:
    const std::string path_; // as the updater named it
};

} // namespace orv
