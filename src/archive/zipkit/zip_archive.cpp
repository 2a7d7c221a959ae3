#include "archive/zipkit/zip_archive.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/zipkit/zip_errors.h"
#include "platform/runtime_error.h"

namespace orv::zipkit {
namespace {

// libzip's own error record, released on every path.
class ZipErrorRecord {
  public:
    ZipErrorRecord() { zip_error_init(&error_); }
    ~ZipErrorRecord() { zip_error_fini(&error_); }
    ZipErrorRecord(const ZipErrorRecord&) = delete;
    ZipErrorRecord& operator=(const ZipErrorRecord&) = delete;

    zip_error_t* get() { return &error_; }

  private:
    zip_error_t error_;
};

} // namespace

// libzip's view of an archive file, read through the file system in blocks of 256 KiB: few and
// large reads, which a network share answers far sooner than many small ones. libzip owns it
// once created and frees it with ZIP_SOURCE_FREE. The file can be let go and another handle of
// the same file taken up, while libzip keeps what it has parsed.
class BlockSource {
  public:
    // self: the new source's own view, for letGo() and takeUp().
    static zip_source_t* Create(std::unique_ptr<InputFile> file, zip_error_t* error,
                                BlockSource*& self) {
        auto owned = std::make_unique<BlockSource>(std::move(file));
        zip_source_t* source = zip_source_function_create(&BlockSource::Call, owned.get(), error);
        // now freed by libzip through ZIP_SOURCE_FREE
        if (source != nullptr) self = owned.release();
        return source;
    }

    explicit BlockSource(std::unique_ptr<InputFile> file)
        : file_(std::move(file)), size_(file_->size()) {}

    void letGo() {
        file_.reset();
        blockLength_ = 0;
    }

    // Nothing read through the handle before counts: the file may have changed meanwhile.
    void takeUp(std::unique_ptr<InputFile> file) {
        file_ = std::move(file);
        size_ = file_->size();
        blockLength_ = 0;
    }

  private:
    static zip_int64_t Call(void* self, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        auto* source = static_cast<BlockSource*>(self);
        if (command == ZIP_SOURCE_FREE) {
            delete source; // libzip hands back what Create() gave it
            return 0;
        }
        return source->answer(data, length, command);
    }

    zip_int64_t answer(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            position_ = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return read(static_cast<char*>(data), length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(data);
            zip_stat_init(stat);
            stat->size = size_;
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(error_.get(), data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t to =
                zip_source_seek_compute_offset(position_, size_, data, length, error_.get());
            if (to < 0) return -1;
            position_ = static_cast<std::uint64_t>(to);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(position_);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(error_.get(), ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    // Up to length bytes from the current position; 0 at the end of the file.
    zip_int64_t read(char* data, zip_uint64_t length) {
        const std::uint64_t wanted =
            std::min<std::uint64_t>(length, size_ - std::min(position_, size_));
        std::uint64_t done = 0;
        try {
            if (!file_) throw RuntimeError(err::kZipInternal); // read between two calls
            while (done < wanted) {
                const std::uint64_t at = position_ + done;
                if (at < blockStart_ || at >= blockStart_ + blockLength_) {
                    blockStart_ = at;
                    blockLength_ =
                        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size_ - at));
                    file_->readAt(blockStart_, block_.data(), blockLength_);
                }
                const std::uint64_t offset = at - blockStart_;
                const auto n = static_cast<std::size_t>(
                    std::min<std::uint64_t>(wanted - done, blockLength_ - offset));
                std::memcpy(data + done, block_.data() + offset, n);
                done += n;
            }
        } catch (const RuntimeError& error) {
            blockLength_ = 0;
            SetReadFailure(*error_.get(), error);
            return -1;
        } catch (...) { // nothing may unwind through libzip
            blockLength_ = 0;
            zip_error_set(error_.get(), ZIP_ER_MEMORY, 0);
            return -1;
        }
        position_ += done;
        return static_cast<zip_int64_t>(done);
    }

    static constexpr std::size_t kBlockSize = 256 * 1024;

    std::unique_ptr<InputFile> file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    std::vector<char> block_ = std::vector<char>(kBlockSize);
    std::uint64_t blockStart_ = 0;
    std::size_t blockLength_ = 0;
    ZipErrorRecord error_;
};

namespace {

// Hands the file to libzip, which parses the archive in it. source: the file's new owner.
ZipArchive Parse(std::unique_ptr<InputFile> file, const std::string& archivePath,
                 BlockSource*& source) {
    ZipErrorRecord error;
    BlockSource* created = nullptr;
    ZipSource owned{BlockSource::Create(std::move(file), error.get(), created)};
    if (owned.get() == nullptr) throw ZipError(*error.get(), archivePath);
    zip_t* archive = zip_open_from_source(owned.get(), ZIP_RDONLY, error.get());
    if (archive == nullptr) throw ZipError(*error.get(), archivePath);
    owned.release();
    source = created;
    return ZipArchive{archive};
}

} // namespace

int CloseEntry(ZipEntryReader& reader) {
    zip_file_t* const file = reader.release();
    return file == nullptr ? ZIP_ER_OK : zip_fclose(file);
}

std::unique_ptr<InputFile> OpenArchiveFile(FileSystem& files, const std::string& archivePath) {
    if (files.directoryExists(archivePath)) throw ErrorAbout(err::kZipNotAnArchive, archivePath);
    if (!files.fileExists(archivePath)) throw ErrorAbout(err::kFileNotFound, archivePath);

    std::unique_ptr<InputFile> file = files.openForReading(archivePath);
    // libzip takes an empty file for an archive without entries; the updater never gets one
    // from a working writer, so it is no archive.
    if (file->size() == 0) throw ErrorAbout(err::kZipNotAnArchive, archivePath);
    return file;
}

ZipArchive OpenArchive(FileSystem& files, const std::string& archivePath) {
    BlockSource* source = nullptr;
    return Parse(OpenArchiveFile(files, archivePath), archivePath, source);
}

ParsedArchive::ParsedArchive(std::unique_ptr<InputFile> file, const std::string& archivePath)
    : archive_(Parse(std::move(file), archivePath, source_)) {}

void ParsedArchive::letGo() {
    source_->letGo();
}

void ParsedArchive::takeUp(std::unique_ptr<InputFile> file) {
    source_->takeUp(std::move(file));
}

} // namespace orv::zipkit
