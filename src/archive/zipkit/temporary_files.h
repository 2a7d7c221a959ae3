#pragma once
// Temporary files beside their targets, removed when the call that made them ends.

#include <cstdint>
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

    // A name that is free in the target's folder (target + ".orvupd-<n>.tmp"), recorded for
    // removal.
    std::string beside(const std::string& target);
    // Leaves the file in place at the end: it holds the only copy of something.
    void keep(const std::string& path);

  private:
    FileSystem& files_;
    std::vector<std::string> paths_;
    std::uint32_t next_ = 1;
};

} // namespace orv::zipkit
