#pragma once
// Text at the boundary to the wide Windows calls: the updater's text is UTF-8, Windows speaks
// UTF-16.

#include <string>
#include <string_view>

namespace orv::win32 {

// Malformed input becomes U+FFFD, one for each byte that starts no valid sequence.
std::u16string Utf8ToUtf16(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace orv::win32
