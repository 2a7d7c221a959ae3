#pragma once
// Owners of libzip's handles, and opening an archive that the file system names.

#include <cstdint>
#include <string>

#include <zip.h>

#include "platform/file_system.h"

namespace orv::zipkit {

// A data source; freed unless an archive has taken it over.
class ZipSource {
  public:
    explicit ZipSource(zip_source_t* source) : source_(source) {}
    ~ZipSource();
    ZipSource(const ZipSource&) = delete;
    ZipSource& operator=(const ZipSource&) = delete;

    zip_source_t* get() const { return source_; }
    // Hands the source over to an archive that now owns it.
    void release() { source_ = nullptr; }

  private:
    zip_source_t* source_;
};

// An archive open for reading.
class ZipArchive {
  public:
    explicit ZipArchive(zip_t* archive) : archive_(archive) {}
    ~ZipArchive();
    ZipArchive(ZipArchive&& other) noexcept : archive_(other.archive_) { other.archive_ = nullptr; }
    ZipArchive& operator=(ZipArchive&&) = delete;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    zip_t* get() const { return archive_; }
    void discard();

  private:
    zip_t* archive_;
};

// One entry being read.
class ZipEntryReader {
  public:
    explicit ZipEntryReader(zip_file_t* file) : file_(file) {}
    ~ZipEntryReader();
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    zip_file_t* get() const { return file_; }
    // Closes the entry and gives libzip's verdict on it: 0, or a ZIP_ER_* code (a checksum
    // that does not match is only reported here).
    int close();

  private:
    zip_file_t* file_;
};

// Opens the archive for reading through the file system. A missing file, a folder, an empty
// file and anything libzip cannot read as a zip archive raise RuntimeError.
ZipArchive OpenArchive(FileSystem& files, const std::string& archivePath);

} // namespace orv::zipkit
