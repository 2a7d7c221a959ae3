#include "platform/text.h"

#include <array>

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

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes there
// stand for the control characters of the same value, as Windows converts them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

char32_t NextCharacter(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        minimum = 0x10000;
    }
    const char32_t undecoded = kUndecodedByte + lead;
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return undecoded;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0u) != 0x80u) {
            ++pos;
            return undecoded;
        }
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return undecoded;
    }
    pos += length;
    return value;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (NextCharacter(text, pos) >= kUndecodedByte) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t character) {
    const auto byte = [&out](char32_t value) { out += static_cast<char>(value); };
    if (character < 0x80) {
        byte(character);
    } else if (character < 0x800) {
        byte(0xC0 | (character >> 6));
        byte(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        byte(0xE0 | (character >> 12));
        byte(0x80 | ((character >> 6) & 0x3F));
        byte(0x80 | (character & 0x3F));
    } else {
        byte(0xF0 | (character >> 18));
        byte(0x80 | ((character >> 12) & 0x3F));
        byte(0x80 | ((character >> 6) & 0x3F));
        byte(0x80 | (character & 0x3F));
    }
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out,
                   byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : char32_t{byte});
    }
    return out;
}

std::string FileTextToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

} // namespace orv::text
