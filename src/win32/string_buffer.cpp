#include "win32/string_buffer.h"

#include "platform/text.h"

namespace orv::win32 {

std::size_t CopyToBuffer(std::string_view value, std::string& buffer) {
    const std::size_t length = text::Len(value);
    const std::size_t room = text::Len(buffer);
    if (length >= room) return length + 1;
    buffer = std::string(value) + '\0' + text::Mid(buffer, length + 2);
    return length;
}

} // namespace orv::win32
