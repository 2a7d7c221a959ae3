#include "archive/zipkit/mask.h"

#include <cstddef>

#include "archive/zipkit/utf8.h"
#include "platform/text.h"

namespace orv::zipkit {
namespace {

constexpr char32_t kSeparator = U'/';

// Upper case for ASCII and Latin-1 letters (ß and ÿ stay), one separator for "/" and "\".
char32_t Fold(char32_t c) {
    if (c == U'\\') return kSeparator;
    return text::UpperLatin1(c);
}

} // namespace

std::u32string FoldedPath(std::string_view path) {
    std::u32string folded;
    folded.reserve(path.size());
    std::size_t pos = 0;
    while (pos < path.size()) {
        folded.push_back(Fold(NextCharacter(path, pos)));
    }
    return folded;
}

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

} // namespace orv::zipkit
