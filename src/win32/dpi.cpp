#include "win32/dpi.h"

#include "win32/handles.h"

namespace orv::win32 {
namespace {

// A function of user32 that older systems lack, or null.
template <typename Function> Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC address = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
    // Through the generic function type, which the compiler accepts as a cast from FARPROC.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

using SetProcessDpiAwarenessContextFunction = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

} // namespace

void DeclarePerMonitorDpiAware() {
    if (const auto set = User32Function<SetProcessDpiAwarenessContextFunction>(
            "SetProcessDpiAwarenessContext")) {
        set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
}

int WindowDpi(HWND window) {
    if (window != nullptr) {
        if (const auto get = User32Function<GetDpiForWindowFunction>("GetDpiForWindow")) {
            const UINT dpi = get(window);
            if (dpi != 0) return static_cast<int>(dpi);
        }
    }
    const WindowDc screen{nullptr};
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, int dpi) {
    RECT rect{0, 0, client.cx, client.cy};
    const auto adjustForDpi =
        User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    if (adjustForDpi == nullptr ||
        !adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        rect = RECT{0, 0, client.cx, client.cy};
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace orv::win32
