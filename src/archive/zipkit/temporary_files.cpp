#include "archive/zipkit/temporary_files.h"

#include <cstdint>

#include "platform/runtime_error.h"

namespace orv::zipkit {

namespace {

// A file that was just written or moved is often held for a moment by another program (a
// virus scanner, an indexer); the removal is tried once more before the file is given up.
constexpr int kRemovalAttempts = 2;

constexpr const char* kNewFile = ".orvupd-";
constexpr const char* kOldFile = ".orvupd-old-";

std::string TemporaryName(const std::string& target, const char* kind, std::uint32_t n) {
    return target + kind + std::to_string(n) + ".tmp";
}

} // namespace

TemporaryFiles::~TemporaryFiles() {
    for (const std::string& path : paths_) {
        if (!path.empty()) removeQuietly(path);
    }
}

void TemporaryFiles::removeQuietly(const std::string& path) {
    for (int attempt = 1; attempt <= kRemovalAttempts; ++attempt) {
        try {
            if (files_.fileExists(path)) files_.deleteFile(path);
            return;
        } catch (const RuntimeError&) {
            // Left behind after the last attempt; the call's own result already says what
            // went wrong.
        }
    }
    // A program still running from an old file keeps it; the next run, or the system's
    // restart, removes it.
    files_.removeAtRestart(path);
}

std::string TemporaryFiles::freeName(const std::string& target, const char* kind) {
    std::uint32_t n = 1;
    std::string candidate = TemporaryName(target, kind, n);
    while ((candidate != noFile_ && files_.fileExists(candidate)) ||
           files_.directoryExists(candidate)) {
        candidate = TemporaryName(target, kind, ++n);
    }
    noFile_.clear();
    positions_[candidate] = paths_.size();
    paths_.push_back(candidate);
    return candidate;
}

std::string TemporaryFiles::beside(const std::string& target) {
    return freeName(target, kNewFile);
}

std::string TemporaryFiles::asideOf(const std::string& target) {
    return freeName(target, kOldFile);
}

void TemporaryFiles::clearLeftovers(const std::string& target) {
    for (std::uint32_t n = 1; files_.fileExists(TemporaryName(target, kOldFile, n)); ++n) {
        const std::string old = TemporaryName(target, kOldFile, n);
        try {
            if (!files_.fileExists(target)) {
                files_.replaceFile(old, target);
                continue;
            }
        } catch (const RuntimeError&) {
            continue; // the only copy of the old file: it stays
        }
        removeQuietly(old);
    }
    std::uint32_t n = 1;
    for (; files_.fileExists(TemporaryName(target, kNewFile, n)); ++n) {
        removeQuietly(TemporaryName(target, kNewFile, n));
    }
    noFile_ = TemporaryName(target, kNewFile, n);
}

void TemporaryFiles::keep(const std::string& path) {
    const auto position = positions_.find(path);
    if (position == positions_.end()) return;
    paths_[position->second].clear();
    positions_.erase(position);
}

void RemoveLeftovers(FileSystem& files, const std::string& target) {
    TemporaryFiles leftovers{files};
    leftovers.clearLeftovers(target);
}

} // namespace orv::zipkit
