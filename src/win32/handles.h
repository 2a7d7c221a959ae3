#pragma once
// Owners of Windows handles: each releases its handle once, on every path. The front end and the
// driver of the end-to-end tests share them.

#include <windows.h>

#include "platform/unique_handle.h"

namespace orv::win32 {

// What, besides null, means "no handle" for a kind of handle.
template <typename T> constexpr T NoHandle() {
    return T{};
}
inline HANDLE InvalidHandleValue() {
    return INVALID_HANDLE_VALUE;
}

// A handle released with Close, a function that returns nonzero on success. Null and Invalid()
// both mean that there is nothing to release.
template <typename T, auto Close, auto Invalid = NoHandle<T>> struct ClosedWith {
    using Handle = T;
    static T none() { return T{}; }
    static bool empty(T handle) { return handle == T{} || handle == Invalid(); }
    static bool release(T handle) { return Close(handle) != 0; }
};
template <typename T, auto Close, auto Invalid = NoHandle<T>>
using Unique = UniqueHandle<ClosedWith<T, Close, Invalid>>;

// A kernel object: file, process or thread.
using KernelHandle = Unique<HANDLE, ::CloseHandle, InvalidHandleValue>;
// A search of a folder's entries.
using FindHandle = Unique<HANDLE, ::FindClose, InvalidHandleValue>;
// A window and, with it, its child windows.
using WindowHandle = Unique<HWND, ::DestroyWindow>;
// GDI objects of our own making.
using Font = Unique<HFONT, ::DeleteObject>;
using Brush = Unique<HBRUSH, ::DeleteObject>;
using Bitmap = Unique<HBITMAP, ::DeleteObject>;
// A memory device context (CreateCompatibleDC).
using MemoryDc = Unique<HDC, ::DeleteDC>;

// The device context of a window's client area (GetDC / ReleaseDC); of the screen for none.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// Painting a window in answer to WM_PAINT (BeginPaint / EndPaint).
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC dc() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// An object selected into a device context, and the one it displaced put back afterwards.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A registered window class.
class WindowClass {
  public:
    explicit WindowClass(const WNDCLASSEXW& description)
        : instance_(description.hInstance), atom_(RegisterClassExW(&description)) {}
    ~WindowClass() {
        if (atom_ != 0) UnregisterClassW(MAKEINTATOM(atom_), instance_);
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    // The name to create windows of this class with.
    LPCWSTR name() const { return MAKEINTATOM(atom_); }

  private:
    HINSTANCE instance_;
    ATOM atom_;
};

} // namespace orv::win32
