#pragma once
// How wide a caption of the status window is in the font a German Windows draws it with: MS
// Sans Serif, 8.25 point, bold, at the screen's resolution. The driver makes that font itself,
// since the updater's font handle means nothing in another process; the face that Windows
// actually chose tells whether the font is there at all.

#include <windows.h>

#include <string>

namespace orv::e2e {

struct CaptionSize {
    std::wstring face; // the font's face as chosen by the system
    int width = 0;     // pixels
    int height = 0;
};

CaptionSize MeasureCaption(const std::wstring& text, int dpi);

// The control's place in the client area of its top-level window, in pixels.
RECT PlaceInWindow(HWND control, HWND window);

} // namespace orv::e2e
