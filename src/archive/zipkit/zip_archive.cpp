#include "archive/zipkit/zip_archive.h"

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

ZipSource::~ZipSource() {
    if (source_ != nullptr) zip_source_free(source_);
}

ZipArchive::~ZipArchive() {
    discard();
}

void ZipArchive::discard() {
    if (archive_ != nullptr) zip_discard(archive_);
    archive_ = nullptr;
}

void ZipArchive::commit(const std::string& subject) {
    if (zip_close(archive_) != 0) throw ZipError(*zip_get_error(archive_), subject);
    archive_ = nullptr;
}

ZipEntryReader::~ZipEntryReader() {
    close();
}

int ZipEntryReader::close() {
    if (file_ == nullptr) return ZIP_ER_OK;
    const int result = zip_fclose(file_);
    file_ = nullptr;
    return result;
}

ZipArchive OpenArchive(FileSystem& files, const std::string& archivePath, bool readOnly) {
    if (files.directoryExists(archivePath)) throw ErrorAbout(err::kZipNotAnArchive, archivePath);
    if (!files.fileExists(archivePath)) throw ErrorAbout(err::kFileNotFound, archivePath);

    ZipErrorRecord error;
    const std::string native = files.nativePath(archivePath);
    ZipSource source{zip_source_file_create(native.c_str(), 0, -1, error.get())};
    if (source.get() == nullptr) throw ZipError(*error.get(), archivePath);

    // libzip takes an empty file for an archive without entries; the updater never gets one
    // from a working writer, so it is no archive.
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(source.get(), &stat) != 0) {
        throw ZipError(*zip_source_error(source.get()), archivePath);
    }
    if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size == 0) {
        throw ErrorAbout(err::kZipNotAnArchive, archivePath);
    }

    zip_t* archive = zip_open_from_source(source.get(), readOnly ? ZIP_RDONLY : 0, error.get());
    if (archive == nullptr) throw ZipError(*error.get(), archivePath);
    source.release();
    return ZipArchive{archive};
}

} // namespace orv::zipkit
