#pragma once
// The launcher window `frmShellExecute`: a plain window that owns the shell's start request.

#include <windows.h>

#include "platform/windows.h"
#include "win32/handles.h"

namespace orv::win32 {

class Win32LauncherView final : public LauncherView {
  public:
    explicit Win32LauncherView(HINSTANCE instance);
    ~Win32LauncherView() override;
    Win32LauncherView(const Win32LauncherView&) = delete;
    Win32LauncherView& operator=(const Win32LauncherView&) = delete;

    void load() override;
    long shellOpen(const std::string& file) override;
    void unload() override;

  private:
    HINSTANCE instance_;
    WindowClass windowClass_;
    WindowHandle window_;
};

} // namespace orv::win32
