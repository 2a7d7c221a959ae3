#pragma once
// The archive as libzip parsed it, kept from one call of the component to the next. A run
// reads the same archive in every call, and parsing its directory of thousands of entries each
// time costs far more than reading the directory's bytes to see that they have not changed.
// Between two calls no file is held open, so that the archive can be renamed or replaced.

#include <optional>
#include <string>
#include <vector>

#include <zip.h>

#include "archive/zipkit/central_directory.h"
#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/zip_archive.h"
#include "platform/file_system.h"

namespace orv::zipkit {

class KeptArchive {
  public:
    // The archive open for one call; the file is let go when it ends.
    class Lease {
      public:
        explicit Lease(KeptArchive& kept) : kept_(kept) {}
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        zip_t* archive() const;
        // The entries the archive's directory lists now, as ListEntries() gives them.
        std::vector<ListedEntry> entries(zip_flags_t nameFlags = ZIP_FL_ENC_GUESS,
                                         const std::string& subject = "") const;

      private:
        KeptArchive& kept_;
    };

    // Opens the archive as OpenArchive() does, with the same errors. The parse of an earlier
    // call is used again where the archive's directory and end records are, byte for byte,
    // those it was made from (or those that this component's removals left).
    Lease open(FileSystem& files, const std::string& archivePath);

    // The removal read the directory as before and took out the entries marked in drop; file
    // is the archive as it left it. The parse goes on with the entries that remain where the
    // file's directory is now before without them. Where it is not, or before is not what the
    // parse was made from, the parse is dropped.
    void removed(const std::string& archivePath, const CentralDirectory& before,
                 const std::vector<bool>& drop, InputFile& file);

  private:
    struct Kept {
        std::string path;
        ParsedArchive parsed;
        // The directory as last seen on the disk; none where this component does not read it
        // (the parse is then for this call only).
        std::optional<CentralDirectory> directory;
        std::vector<zip_uint64_t> live; // libzip's index of each entry the directory lists
    };

    std::optional<Kept> kept_;
};

} // namespace orv::zipkit
