#pragma once
// Temporary files beside their targets, removed when the call that made them ends.

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace orv::zipkit {

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

  private:
    std::string freeName(const std::string& target, const char* kind);
    void removeQuietly(const std::string& path);

    FileSystem& files_;
    std::vector<std::string> paths_;
};

} // namespace orv::zipkit
