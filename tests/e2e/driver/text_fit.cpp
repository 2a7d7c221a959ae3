#include "text_fit.h"

#include <cmath>

#include "win32/handles.h"

namespace orv::e2e {
namespace {

constexpr const wchar_t* kFaceName = L"MS Sans Serif";
constexpr double kPoints = 8.25;

} // namespace

CaptionSize MeasureCaption(const std::wstring& text, int dpi) {
    const win32::WindowDc screen{nullptr};
    const int height = -static_cast<int>(std::lround(kPoints * dpi / 72.0));
    const win32::Font font{CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFaceName)};
    CaptionSize size;
    if (!font.valid()) return size;
    const win32::Selection selected{screen.get(), font.get()};
    std::wstring face(LF_FACESIZE, L'\0');
    face.resize(static_cast<std::size_t>(
        GetTextFaceW(screen.get(), static_cast<int>(face.size()), face.data())));
    while (!face.empty() && face.back() == L'\0')
        face.pop_back();
    size.face = face;
    SIZE extent{};
    if (GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent)) {
        size.width = extent.cx;
        size.height = extent.cy;
    }
    return size;
}

RECT PlaceInWindow(HWND control, HWND window) {
    RECT place{};
    if (!GetWindowRect(control, &place)) return RECT{};
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

} // namespace orv::e2e
