#pragma once
// Text handed back through a caller's buffer, the way the Windows string calls do it.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::win32 {

// Writes value and a terminating NUL over the start of buffer when the buffer has room for
// both (counted in characters) and returns the length of value; otherwise leaves the buffer
// as it is and returns the size needed, the NUL included.
std::size_t CopyToBuffer(std::string_view value, std::string& buffer);

} // namespace orv::win32
