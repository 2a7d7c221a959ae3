#include "archive/zipkit/temporary_files.h"

#include <algorithm>

#include "platform/runtime_error.h"

namespace orv::zipkit {

TemporaryFiles::~TemporaryFiles() {
    for (const std::string& path : paths_) {
        try {
            if (files_.fileExists(path)) files_.deleteFile(path);
        } catch (const RuntimeError&) {
            // Left behind; the call's own result already says what went wrong.
        }
    }
}

std::string TemporaryFiles::beside(const std::string& target) {
    std::string candidate;
    do {
        candidate = target + ".orvupd-" + std::to_string(next_++) + ".tmp";
    } while (files_.fileExists(candidate) || files_.directoryExists(candidate));
    paths_.push_back(candidate);
    return candidate;
}

void TemporaryFiles::keep(const std::string& path) {
    paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
}

} // namespace orv::zipkit
