#pragma once
// The launcher window `frmShellExecute`: loading it starts the application.

#include <string>

#include "platform/platform.h"

namespace orv::ui {

class LauncherWindow {
  public:
    explicit LauncherWindow(LauncherView& view) : view_(view) {}
    // Loads the window, which opens InstallDir + "\orv\orven32.exe"; the result is ignored.
    void show(const std::string& installDir);
    void unload();

  private:
    LauncherView& view_;
    bool loaded_ = false;
};

} // namespace orv::ui
