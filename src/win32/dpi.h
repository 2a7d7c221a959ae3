#pragma once
// The display resolution of windows, with the calls of newer Windows versions where they are
// there and the older whole-screen ones otherwise.

#include <windows.h>

namespace orv::win32 {

// Declares the process per-monitor DPI aware (V2) when the system knows it; the manifest
// normally has done so already.
void DeclarePerMonitorDpiAware();

// The DPI the window is drawn at (the screen's when the window is null).
int WindowDpi(HWND window);

// The outer size of a window with the given client size (in pixels), style and DPI.
SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, int dpi);

} // namespace orv::win32
