#include "archive/mask.h"

#include <cstddef>

#include "platform/paths.h"

namespace orv {

bool MaskMatches(std::string_view mask, std::string_view storedPath) {
    if (mask == "*.*") return true;
    const std::u32string pattern = FoldedPath(mask);
    const std::u32string name = FoldedPath(storedPath);

    // Greedy matching that remembers only the last "*": when a later part fails, that star
    // takes one more character. Earlier stars never need to be revisited, so the work stays
    // bounded by the product of the lengths.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starAt = kNone;
    std::size_t starMatchedUpTo = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            starAt = p++;
            starMatchedUpTo = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starAt != kNone) {
            p = starAt + 1;
            n = ++starMatchedUpTo;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') {
        ++p;
    }
    return p == pattern.size();
}

} // namespace orv
