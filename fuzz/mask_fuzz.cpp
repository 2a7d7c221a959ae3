// The mask matcher on any mask and path: it ends, and its answers hold the rules that the
// extraction plan relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/zipkit/mask.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view mask = input.substr(0, std::min(split, input.size()));
    const std::string_view path = split == std::string_view::npos ? "" : input.substr(split + 1);

    const bool matches = orv::zipkit::MaskMatches(mask, path);
    if (path.empty()) return 0; // an entry always has a name
    if (!orv::zipkit::MaskMatches("*.*", path)) std::abort();
    if (!orv::zipkit::MaskMatches("*", path)) std::abort();
    // A mask without wildcards matches the path itself.
    if (path.find_first_of("*?") == std::string_view::npos &&
        !orv::zipkit::MaskMatches(path, path)) {
        std::abort();
    }
    // A star in front never loses a match.
    if (matches && !orv::zipkit::MaskMatches("*" + std::string(mask), path)) std::abort();
    static_cast<void>(orv::zipkit::FoldedPath(path));
    return 0;
}
