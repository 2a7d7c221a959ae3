#pragma once
// Everything the updater reaches on Windows: message boxes, the process, the INI and Windows
// directory calls, files and the two windows.

#include <windows.h>

#include "platform/platform.h"
#include "win32/win32_file_system.h"
#include "win32/win32_launcher_view.h"
#include "win32/win32_start_view.h"

namespace orv::win32 {

class Win32Platform final : public Platform {
  public:
    explicit Win32Platform(HINSTANCE instance);

    Answer showMessageBox(const std::string& text, const std::string& title, int style) override;
    std::string ownDirectory() override;
    std::string commandLine() override;
    ProgramVersion version() override;
    FileSystem& files() override { return files_; }
    std::string profileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& file) override;
    std::size_t windowsDirectory(std::string& buffer) override;
    // The lock file orvupd.lock in the installation's update folder, shared with no one and
    // removed with its last handle, which the system closes when the process ends, however it
    // ends.
    std::unique_ptr<InstallationClaim> claimInstallation(const std::string& installDir) override;
    // Waits with the windows answering: their messages are let through as they come.
    void pause(int milliseconds) override;
    StartView& startView() override { return start_; }
    LauncherView& launcherView() override { return launcher_; }

  private:
    Win32FileSystem files_;
    Win32StartView start_;
    Win32LauncherView launcher_;
};

} // namespace orv::win32
