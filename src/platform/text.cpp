#include "platform/text.h"

namespace orv::text {
namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Byte offset of the character with the given 0-based index, or s.size().
std::size_t OffsetOf(std::string_view s, std::size_t index) {
    std::size_t pos = 0;
    for (std::size_t count = 0; pos < s.size() && count < index; ++count) {
        ++pos;
        while (pos < s.size() && IsContinuation(static_cast<unsigned char>(s[pos])))
            ++pos;
    }
    return pos;
}

} // namespace

// A character is a byte with the continuation bytes that follow it; a stray continuation
// byte at the start counts as a character of its own, as everywhere else here.
std::size_t Len(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); ++count) {
        ++pos;
        while (pos < s.size() && IsContinuation(static_cast<unsigned char>(s[pos])))
            ++pos;
    }
    return count;
}

std::string Left(std::string_view s, std::size_t n) {
    return std::string(s.substr(0, OffsetOf(s, n)));
}

std::string Right(std::string_view s, std::size_t n) {
    const std::size_t length = Len(s);
    return n >= length ? std::string(s) : std::string(s.substr(OffsetOf(s, length - n)));
}

std::string Mid(std::string_view s, std::size_t start, std::size_t length) {
    if (start == 0) start = 1;
    const std::size_t from = OffsetOf(s, start - 1);
    const std::string_view rest = s.substr(from);
    return length == std::string_view::npos ? std::string(rest)
                                            : std::string(rest.substr(0, OffsetOf(rest, length)));
}

std::string UCase(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(UpperLatin1(c));
        } else if (c == 0xC3 && i + 1 < s.size()) {
            // 0xC3 0x80..0xBF is U+00C0..U+00FF; the byte after 0xC3 is taken as it is otherwise.
            const auto next = static_cast<unsigned char>(s[i + 1]);
            const bool latin1 = next >= 0x80 && next <= 0xBF;
            out += static_cast<char>(c);
            out += static_cast<char>(latin1 ? UpperLatin1(next + 0x40) - 0x40 : next);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace orv::text
