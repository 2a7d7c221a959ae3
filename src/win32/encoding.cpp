#include "win32/encoding.h"

#include "platform/text.h"

namespace orv::win32 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = text::NextCharacter(text, pos);
        if (c >= text::kUndecodedByte) c = kReplacement;
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            const char32_t offset = c - 0x10000;
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
            text::AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) +
                                      (char32_t{text[pos + 1]} - 0xDC00));
            ++pos;
        } else {
            text::AppendUtf8(out, high || low ? kReplacement : char32_t{unit});
        }
    }
    return out;
}

} // namespace orv::win32
