#pragma once
// Temporary files beside their targets, removed when the call that made them ends.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace orv::zipkit {

// Clears what earlier calls left beside the target (see TemporaryFiles::clearLeftovers).
void RemoveLeftovers(FileSystem& files, const std::string& target);

class TemporaryFiles {
  public:
    explicit TemporaryFiles(FileSystem& files) : files_(files) {}
    // Removes every recorded file that still exists (and is not kept); a file that cannot be
    // removed stays.
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // A name for the new file that is free in the target's folder (target + ".orvupd-<n>.tmp"),
    // recorded for removal.
    std::string beside(const std::string& target);
    // A name for the old file while it is moved aside (target + ".orvupd-old-<n>.tmp"),
    // recorded for removal.
    std::string asideOf(const std::string& target);
    // Clears what a call that was killed left beside the target: an old file moved aside goes
    // back when the target is missing (the target is then wholly old again) and is removed
    // otherwise; new files, maybe half written, are removed. Files that resist stay.
    void clearLeftovers(const std::string& target);
    // Leaves the file in place at the end: it holds the only copy of something.
    void keep(const std::string& path);
    // The file was moved to its target: there is nothing left under its name to remove.
    void moved(const std::string& path) { keep(path); }

  private:
    std::string freeName(const std::string& target, const char* kind);
    void removeQuietly(const std::string& path);

    FileSystem& files_;
    std::vector<std::string> paths_; // in the order made; empty where kept or moved
    std::unordered_map<std::string, std::size_t> positions_; // of each path in paths_
    // The last name that clearLeftovers() found holding no file: a name for a new file there
    // need not be asked about as a file again.
    std::string noFile_;
};

} // namespace orv::zipkit
