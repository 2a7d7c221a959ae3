#pragma once
// The status window `Start` as a real window: group frame `Frame1` holding the picture box
// `picProgress`, label `Label1` and the edit control `txtStatus` whose changes the window
// reports to its listener.

#include <windows.h>

#include <exception>
#include <memory>

#include "platform/windows.h"
#include "win32/gdi_surface.h"
#include "win32/handles.h"

namespace orv::win32 {

class Win32StartView final : public StartView {
  public:
    explicit Win32StartView(HINSTANCE instance);
    ~Win32StartView() override;
    Win32StartView(const Win32StartView&) = delete;
    Win32StartView& operator=(const Win32StartView&) = delete;

    void load(StatusTextListener& listener) override;
    void unload() override;
    SizeTwips screenSize() const override;
    SizeTwips windowSize() const override;
    void move(float leftTwips, float topTwips) override;
    void setTitle(const std::string& title) override;
    void show() override;
    void setVisible(Control control, bool visible) override;
    void setCaption(Control control, const std::string& caption) override;
    void refresh(Control control) override;
    void setStatusText(const std::string& text) override;
    DrawingSurface& progressSurface() override { return surface_; }
    void letMessagesThrough() override;

  private:
    struct Loaded;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK pictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onFrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onPictureMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    void layOut();
    void changeDpi(int dpi, const RECT& suggested);
    void statusTextChanged();
    HWND windowOf(Control control) const;
    int pixels(float twips) const;
    float twips(int pixels) const;

    HINSTANCE instance_;
    Brush backBrush_;
    Brush frameBrush_;
    WindowClass windowClass_;
    WindowClass frameClass_;
    WindowClass pictureClass_;
    GdiSurface surface_;
    std::unique_ptr<Loaded> loaded_;
    // An error of the listener, carried past the system's message dispatch to the caller.
    std::exception_ptr listenerError_;
};

} // namespace orv::win32
