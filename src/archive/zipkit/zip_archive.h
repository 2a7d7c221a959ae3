#pragma once
// Owners of libzip's handles, and opening an archive that the file system names.

#include <cstdint>
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

// Opens the archive for reading through the file system. A missing file, a folder, an empty
// file and anything libzip cannot read as a zip archive raise RuntimeError.
ZipArchive OpenArchive(FileSystem& files, const std::string& archivePath);

} // namespace orv::zipkit
