#include "archive/mask.h"

#include <cstddef>

#include "platform/paths.h"

namespace orv {

bool MaskMatches(std::string_view mask, std::string_view storedPath) {
    if (mask == "*.*") return true;

    // Greedy matching that remembers only the last "*": when a later part fails, that star
    // takes one more character. Earlier stars never need to be revisited, so the work stays
    // bounded by the product of the lengths. Both texts are read character by character, folded
    // as paths are compared, where they stand: the plan matches every mask against every entry
    // of the archive, and nothing is copied for it. p and n are byte positions.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t afterStar = kNone; // where the mask goes on after its last "*" so far
    std::size_t starMatchedUpTo = 0;
    while (n < storedPath.size()) {
        std::size_t pNext = p;
        const char32_t wanted = p < mask.size() ? NextFoldedCharacter(mask, pNext) : U'\0';
        std::size_t nNext = n;
        const char32_t found = NextFoldedCharacter(storedPath, nNext);
        if (p < mask.size() && wanted == U'*') {
            p = afterStar = pNext;
            starMatchedUpTo = n;
        } else if (p < mask.size() && (wanted == U'?' || wanted == found)) {
            p = pNext;
            n = nNext;
        } else if (afterStar != kNone) {
            p = afterStar;
            NextFoldedCharacter(storedPath, starMatchedUpTo);
            n = starMatchedUpTo;
        } else {
            return false;
        }
    }
    while (p < mask.size()) {
        std::size_t pNext = p;
        if (NextFoldedCharacter(mask, pNext) != U'*') break;
        p = pNext;
    }
    return p == mask.size();
}

} // namespace orv
