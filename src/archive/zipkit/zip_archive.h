#pragma once
// Owners of libzip's handles, and opening an archive that the file system names.

#include <cstdint>
#include <memory>
#include <string>

#include <zip.h>

#include "platform/file_system.h"
#include "platform/unique_handle.h"

namespace orv::zipkit {

// A data source; freed unless an archive has taken it over (release()).
using ZipSource = UniqueHandle<FreedPointer<zip_source_t, zip_source_free>>;
// An archive open for reading; closed without writing anything.
using ZipArchive = UniqueHandle<FreedPointer<zip_t, zip_discard>>;
// One entry being read.
using ZipEntryReader = UniqueHandle<FreedPointer<zip_file_t, zip_fclose>>;

// Closes the entry and gives libzip's verdict on it: 0, or a ZIP_ER_* code (a checksum that
// does not match is only reported here).
int CloseEntry(ZipEntryReader& reader);

// Opens the archive file for reading. A missing file, a folder and an empty file raise
// RuntimeError.
std::unique_ptr<InputFile> OpenArchiveFile(FileSystem& files, const std::string& archivePath);

// Opens the archive for reading through the file system. A missing file, a folder, an empty
// file and anything libzip cannot read as a zip archive raise RuntimeError.
ZipArchive OpenArchive(FileSystem& files, const std::string& archivePath);

class BlockSource;

// An archive as libzip has parsed it, and the file it is read from. The file can be let go
// while the parse stays, and another handle of the same file taken up for the next reads.
class ParsedArchive {
  public:
    // Parses the archive in the file (opened by OpenArchiveFile); what libzip cannot read as a
    // zip archive raises RuntimeError.
    ParsedArchive(std::unique_ptr<InputFile> file, const std::string& archivePath);

    zip_t* get() const { return archive_.get(); }
    // Closes the file; until takeUp(), reading an entry fails.
    void letGo();
    void takeUp(std::unique_ptr<InputFile> file);

  private:
    BlockSource* source_ = nullptr; // owned by the archive
    ZipArchive archive_;
};

} // namespace orv::zipkit
