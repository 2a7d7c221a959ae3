#pragma once
// The stored path of an archive entry, judged before anything is written: only a plain relative
// path that means the same file on every Windows file system may leave the archive.

#include <string>
#include <string_view>
#include <vector>

namespace orv {

// A stored path ending in a separator ("/" or "\") names a folder.
bool IsFolderEntry(std::string_view storedPath);

// The stored path without the separator that marks a folder.
std::string_view WithoutFolderMark(std::string_view storedPath);

// True when the path (folder mark removed) can be placed below a target folder: not empty,
// relative (no leading separator, no drive letter, no UNC prefix), no ":" (drive or stream),
// no control character, none of < > " | ? *, valid UTF-8, and every component non-empty, not
// "." or "..", not ending in a dot or a blank, and not a Windows device name (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9, LPT0-9, also with an extension).
bool IsSafeEntryPath(std::string_view storedPath);

// True when the bytes hold a control character (below 0x20, or 0x7F). libzip shows these as
// graphic characters when it reads a name as CP437, so the stored bytes are asked too.
bool HasControlCharacter(std::string_view storedBytes);

// The stored path with separators as "\" and without a folder mark, to append to a target
// folder.
std::string WindowsRelativePath(std::string_view storedPath);

// The stored path for a message: control characters and undecodable bytes shown as "?", an
// empty name as "(leer)".
std::string PrintableName(std::string_view storedPath);

// The positions of the stored paths that land on a file or folder that an earlier one of them
// already names, compared as Windows compares names: two files of one name, a file where a
// folder is needed, a folder where a file is.
std::vector<std::size_t> CollidingEntries(const std::vector<std::string>& storedPaths);

// The path that an extraction into targetDir writes for the entry (a folder entry: its folder).
std::string PlacedPath(const std::string& targetDir, const std::string& archivePath,
                       const std::string& storedPath);

} // namespace orv
