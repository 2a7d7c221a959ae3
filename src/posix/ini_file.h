#pragma once
// Reading values from INI files the way Windows' GetPrivateProfileString does.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::posix {

// The value of key in section of the INI text, or defaultValue when the section or the key
// is missing; cut to bufferSize - 1 characters. Sections and keys are matched without regard
// to case, the first matching section and, within it, the first matching key win. Blanks
// around keys and values are dropped, and one pair of matching quotes (" or ') around a
// value. Lines beginning with ';' are comments. Text that is not UTF-8 is read as
// Windows-1252; the result is always UTF-8.
std::string ReadProfileStringFromText(std::string_view text, std::string_view section,
                                      std::string_view key, const std::string& defaultValue,
                                      std::size_t bufferSize);

// The same for a file given by its native path; a file that cannot be read is treated as
// missing and gives defaultValue.
std::string ReadProfileString(const std::string& nativeFile, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t bufferSize);

} // namespace orv::posix
