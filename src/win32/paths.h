#pragma once
// Rules for Windows path strings that the front end applies before calling the system.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::win32 {

// Paths from this length on (in UTF-16 units) go to the system in their long form: the plain
// form ends at 260 characters, and at 248 for a directory that is to be created.
inline constexpr std::size_t kLongPathFrom = 248;

// The directory of a file path without a trailing separator, but for a drive root ("C:\").
std::u16string DirectoryOf(std::u16string_view filePath);

// The long form of a full path: "\\?\" before a drive path, "\\?\UNC\" in place of the "\\"
// of a network path. Paths already in a device form, and relative ones, stay as they are.
std::u16string WithLongPathPrefix(std::u16string_view fullPath);

// The drive of a full path as the user knows it: "D:" for "D:\\x", "\\\\server\\share" for a
// network path (in its long form too); empty for any other path.
std::u16string DriveOf(std::u16string_view fullPath);

// The plain form of a full path that the system hands back: "\\\\?\\UNC\\server\\x" and
// "\\??\\UNC\\server\\x" are "\\\\server\\x" again, and so is "UNC\\server\\x", which is how Wine
// names a program started from a share; "\\\\?\\C:\\x" is "C:\\x". Every other path stays.
std::u16string PlainFormOf(std::u16string_view fullPath);

} // namespace orv::win32
