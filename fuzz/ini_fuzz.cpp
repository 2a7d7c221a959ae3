// The INI reader on any text: a value is never longer than the buffer allows and always
// valid UTF-8, whatever the file holds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "posix/ini_file.h"

namespace {

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        }
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"Pfad1", "Pfad2", "Pfad3"}) {
        const std::string value =
            orv::posix::ReadProfileStringFromText(text, "ORVEN", key, "", 255);
        if (!IsUtf8(value)) std::abort();
        // 254 characters at most; a character takes up to four bytes.
        if (value.size() > 254 * 4) std::abort();
    }
    const std::string fallback =
        orv::posix::ReadProfileStringFromText(text, "ORVEN", "", "vorgabe", 255);
    static_cast<void>(fallback);
    return 0;
}
