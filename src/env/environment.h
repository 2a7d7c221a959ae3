#pragma once
// How the updater looks at its surroundings: whether a file can be opened, the application's
// INI values, the Windows directory. None of them lets a failure reach the caller.

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace orv {

// The size of the text buffers handed to the INI and Windows-directory calls: an INI value
// reads as at most one character less.
inline constexpr std::size_t kIniBufferSize = 255;

// True when the file could be opened for reading and closed again. A file that another
// program holds shows the note that the application is open, and counts as missing; a file
// that the user may not read counts as missing without a note.
bool ProbeFile(Platform& os, const std::string& path);

// The note that the application holds a file the updater needs (critical, "ORVEN geöffnet").
void ShowApplicationOpen(Platform& os);

// The key's value in the section of the INI file, or defaultValue when it is missing or empty.
std::string ReadIniValue(Platform& os, const std::string& iniPath, const std::string& section,
                         const std::string& key, const std::string& defaultValue);

// The Windows directory without a separator at its end; empty after a failure.
std::string GetWindowsDir(Platform& os);

} // namespace orv
