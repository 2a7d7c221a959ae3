#pragma once
// Archives of our own making for tests, written with libzip.

#include <cstdint>
#include <string>
#include <vector>

namespace orv::testing {

struct ZipEntry {
    std::string name; // stored path; a name ending in "/" is a folder
    std::string contents;
    std::int64_t mtime = 1700000000; // seconds since 1970
};

// Writes a new archive (deflated entries) to the native path.
void WriteZip(const std::string& nativePath, const std::vector<ZipEntry>& entries);

// The names of the archive's entries, in their order.
std::vector<std::string> ZipNames(const std::string& nativePath);

} // namespace orv::testing
