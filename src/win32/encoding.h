#pragma once
// Text at the boundary to the wide Windows calls: the updater's text is UTF-8, Windows speaks
// UTF-16, and old text files are in the Western Windows code page 1252.

#include <string>
#include <string_view>

namespace orv::win32 {

// Malformed input becomes U+FFFD, one for each byte that starts no valid sequence.
std::u16string Utf8ToUtf16(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

bool IsValidUtf8(std::string_view bytes);
std::string Windows1252ToUtf8(std::string_view bytes);

// A line read from a text file: kept as it is when it is valid UTF-8, otherwise read as code
// page 1252 (the ANSI code page the application writes its files in).
std::string TextLineToUtf8(std::string_view bytes);

} // namespace orv::win32
