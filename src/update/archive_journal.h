#pragma once
// The files of the zip component, with every change of the archive noted in the run's record
// before it is made. Each change of the archive is put on the disk before the next is noted, so
// that the archive on the disk is always the state before a change or the one after it: both
// are in the record, and the next run can prove the archive to be what this run made of it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/forwarding_file_system.h"
#include "update/run_record.h"

namespace orv {

// The CRC-32 of a file's blocks as they were when read, so that the CRC of a state of the file
// costs reading only what changed.
class BlockCrcs {
  public:
    // Reads the whole file once.
    explicit BlockCrcs(InputFile& file);

    ContentState whole() const { return whole_; }
    // crc continued over the file's bytes [at, at + length) as they are now.
    std::uint32_t extend(std::uint32_t crc, InputFile& file, std::uint64_t at,
                         std::uint64_t length) const;
    // The file's bytes [at, at + length) are no longer as read; a length of none: to its end.
    void changed(std::uint64_t at, std::optional<std::uint64_t> length);

  private:
    ContentState whole_;
    std::vector<std::uint32_t> crcs_;
    std::vector<std::uint32_t> lengths_;
    std::vector<bool> known_;
};

class ArchiveJournal final : public ForwardingFileSystem {
  public:
    explicit ArchiveJournal(FileSystem& real) : ForwardingFileSystem(real) {}

    // Writes the record of the delivered archive and notes every later change of it there.
    void begin(const std::string& archivePath, const std::string& recordPath);
    // Removes the record: the run is over and the archive as delivered on the disk.
    void end();
    bool begun() const { return watched_.has_value(); }

    // The archive, once the record is begun, as a file whose every change is noted first.
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;

    // Adds the state to the record on the disk, unless it is there already.
    void note(const ContentState& state);
    BlockCrcs& crcs() { return watched_->crcs; }

  private:
    struct Watched {
        std::string archive; // native path
        std::string record;
        RunRecord written;
        BlockCrcs crcs;
    };

    std::optional<Watched> watched_;
};

} // namespace orv
