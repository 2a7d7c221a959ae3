#pragma once
// Temporary files beside their targets, removed when the call that made them ends.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/known_folder.h"

namespace orv::zipkit {

// Clears what earlier calls left beside the target (see TemporaryFiles::clearLeftovers).
void RemoveLeftovers(FileSystem& files, const std::string& target);

// The names are the target's name in its folder; every folder outlives the temporary files.
class TemporaryFiles {
  public:
    TemporaryFiles() = default;
    // Removes every recorded file that still exists (and is not kept); a file that cannot be
    // removed stays.
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // Makes the new file beside the target (target + ".orvupd-<n>.tmp", the first n that is
    // free), recorded for removal: its name and the file, open for writing.
    std::pair<std::string, std::unique_ptr<OutputFile>> createBeside(KnownFolder& folder,
                                                                     const std::string& target);
    // A name for the old file while it is moved aside (target + ".orvupd-old-<n>.tmp"), free
    // in the folder, recorded for removal.
    std::string asideOf(KnownFolder& folder, const std::string& target);
    // Clears what a call that was killed left beside the target: an old file moved aside goes
    // back when the target is missing (the target is then wholly old again) and is removed
    // otherwise; new files, maybe half written, are removed. Files that resist stay.
    void clearLeftovers(KnownFolder& folder, const std::string& target);
    // Leaves the file in place at the end: it holds the only copy of something.
    void keep(const KnownFolder& folder, const std::string& name);
    // The file was moved to its target: there is nothing left under its name to remove.
    void moved(const KnownFolder& folder, const std::string& name) { keep(folder, name); }

  private:
    struct Recorded {
        KnownFolder* folder; // null where kept or moved
        std::string name;
    };

    std::string freeName(KnownFolder& folder, const std::string& target, const char* kind);
    void record(KnownFolder& folder, const std::string& name);

    std::vector<Recorded> files_;                            // in the order made
    std::unordered_map<std::string, std::size_t> positions_; // of each path in files_
};

} // namespace orv::zipkit
