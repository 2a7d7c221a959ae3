#include "win32/encoding.h"

#include <array>

namespace orv::win32 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t codePoint;
    std::size_t length; // bytes taken
};

// The code point that starts at pos, or U+FFFD for a single byte that starts no valid
// sequence (overlong forms, surrogates and values beyond U+10FFFF included).
Decoded DecodeUtf8At(std::string_view bytes, std::size_t pos, bool& valid) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    valid = true;
    if (lead < 0x80) return {lead, 1};

    std::size_t following = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        following = 1;
        codePoint = lead & 0x1Fu;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        following = 2;
        codePoint = lead & 0x0Fu;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        following = 3;
        codePoint = lead & 0x07u;
        smallest = 0x10000;
    }
    valid = following != 0 && pos + following < bytes.size();
    for (std::size_t k = 1; valid && k <= following; ++k) {
        const auto next = static_cast<unsigned char>(bytes[pos + k]);
        valid = (next & 0xC0) == 0x80;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    valid = valid && codePoint >= smallest && codePoint <= 0x10FFFF &&
            !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    return valid ? Decoded{codePoint, following + 1} : Decoded{kReplacement, 1};
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [&out](char32_t value) { out += static_cast<char>(value); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes there
// stand for the control characters of the same value, as Windows converts them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        bool valid = false;
        const Decoded decoded = DecodeUtf8At(text, pos, valid);
        pos += decoded.length;
        if (decoded.codePoint < 0x10000) {
            out += static_cast<char16_t>(decoded.codePoint);
        } else {
            const char32_t offset = decoded.codePoint - 0x10000;
            out += static_cast<char16_t>(0xD800 + (offset >> 10));
            out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char16_t unit = text[pos];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && pos + 1 < text.size() && text[pos + 1] >= 0xDC00 && text[pos + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) +
                                (char32_t{text[pos + 1]} - 0xDC00));
            ++pos;
        } else {
            AppendUtf8(out, high || low ? kReplacement : char32_t{unit});
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        bool valid = false;
        pos += DecodeUtf8At(bytes, pos, valid).length;
        if (!valid) return false;
    }
    return true;
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

std::string TextLineToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

} // namespace orv::win32
