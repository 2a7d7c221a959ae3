#pragma once
// Owners of Windows handles: each releases its handle once, on every path.

#include <windows.h>

#include <utility>

namespace orv::win32 {

// A kernel object handle (file); INVALID_HANDLE_VALUE and null both mean none.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes now; false (with the error in GetLastError) when closing failed.
    bool close() {
        const HANDLE handle = std::exchange(handle_, nullptr);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_ = nullptr;
};

// A window and, with it, its child windows.
class WindowHandle {
  public:
    WindowHandle() = default;
    explicit WindowHandle(HWND window) : window_(window) {}
    ~WindowHandle() { reset(); }
    WindowHandle(WindowHandle&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
    WindowHandle& operator=(WindowHandle&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
        }
        return *this;
    }
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;

    HWND get() const { return window_; }
    void reset() {
        if (const HWND window = std::exchange(window_, nullptr)) DestroyWindow(window);
    }

  private:
    HWND window_ = nullptr;
};

// A GDI object of our own making: font, brush or bitmap.
template <typename Handle> class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle object) : object_(object) {}
    ~GdiObject() {
        if (object_ != nullptr) DeleteObject(object_);
    }
    GdiObject(GdiObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            if (object_ != nullptr) DeleteObject(object_);
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const { return object_; }

  private:
    Handle object_ = nullptr;
};

using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;

// A memory device context (CreateCompatibleDC).
class MemoryDc {
  public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

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
