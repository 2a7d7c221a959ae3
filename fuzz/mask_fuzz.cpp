// The mask matcher on any mask and path: it ends, and its answers hold the rules that the
// extraction plan relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/mask.h"
#include "platform/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view mask = input.substr(0, std::min(split, input.size()));
    const std::string_view path = split == std::string_view::npos ? "" : input.substr(split + 1);

    const bool matches = orv::MaskMatches(mask, path);
    if (path.empty()) return 0; // an entry always has a name
    if (!orv::MaskMatches("*.*", path)) std::abort();
    if (!orv::MaskMatches("*", path)) std::abort();
    // A mask without wildcards matches the path itself.
    if (path.find_first_of("*?") == std::string_view::npos &&
        !orv::MaskMatches(path, path)) {
        std::abort();
    }
    // A mask without wildcards matches exactly the paths that name the same file; bytes that
    // are not valid UTF-8 compare as bytes.
    if (mask.find_first_of("*?") == std::string_view::npos &&
        matches != (orv::FoldedPath(mask) == orv::FoldedPath(path))) {
        std::abort();
    }
    // A star in front never loses a match ("*.*" is no pattern but the mask of every entry,
    // also of one without a dot, which "**.*" does not match).
    if (matches && mask != "*.*" && !orv::MaskMatches("*" + std::string(mask), path)) {
        std::abort();
    }
    // A star at the end never loses one either.
    if (matches && mask != "*.*" && !orv::MaskMatches(std::string(mask) + "*", path)) {
        std::abort();
    }
    // "?" stands for one character, and a byte that is none is one too.
    const std::string anyOne(orv::FoldedPath(path).size(), '?');
    if (!orv::MaskMatches(anyOne, path) || orv::MaskMatches(anyOne + "?", path)) {
        std::abort();
    }
    return 0;
}
