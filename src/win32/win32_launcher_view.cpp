#include "win32/win32_launcher_view.h"

#include <shellapi.h>

#include "win32/dpi.h"
#include "win32/units.h"
#include "win32/wide.h"

namespace orv::win32 {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
constexpr float kClientWidth = 4680;
constexpr float kClientHeight = 3090;

WNDCLASSEXW LauncherClass(HINSTANCE instance) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = DefWindowProcW;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    description.lpszClassName = L"OrvenUpdateShellExecute";
    return description;
}

} // namespace

Win32LauncherView::Win32LauncherView(HINSTANCE instance)
    : instance_(instance), windowClass_(LauncherClass(instance)) {}

Win32LauncherView::~Win32LauncherView() = default;

void Win32LauncherView::load() {
    window_.reset();
    // Where the system puts new windows; it stays invisible for the moment it lives.
    window_ =
        WindowHandle{CreateWindowExW(0, windowClass_.name(), L"ShellExecute", kStyle, CW_USEDEFAULT,
                                     CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, nullptr)};
    if (window_.get() == nullptr) RaiseLastError();
    const int dpi = WindowDpi(window_.get());
    const SIZE outer = OuterSize(
        SIZE{TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi)}, kStyle, 0, dpi);
    SetWindowPos(window_.get(), nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

long Win32LauncherView::shellOpen(const std::string& file) {
    // No parameters and no working directory of its own; the result only reports.
    const HINSTANCE result =
        ShellExecuteW(window_.get(), L"open", Wide(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return static_cast<long>(reinterpret_cast<INT_PTR>(result));
}

void Win32LauncherView::unload() {
    window_.reset();
}

} // namespace orv::win32
