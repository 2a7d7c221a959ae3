#pragma once
// Screenshots of windows as they are on the screen, saved as 24-bit BMP files.

#include <windows.h>

#include <string>

namespace orv::e2e {

enum class Area { Window, Client };

// Copies the window's area from the screen into a BMP file; false when the window is gone or
// the file cannot be written.
bool SaveScreenshot(HWND window, Area area, const std::wstring& file);

} // namespace orv::e2e
