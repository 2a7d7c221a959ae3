#pragma once
// The Linux front end as the updater's platform: POSIX files, the terminal for message boxes
// and the status window, a detached start of the application.

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>

#include "platform/platform.h"
#include "posix/posix_file_system.h"
#include "posix/terminal.h"
#include "posix/terminal_views.h"

namespace orv::posix {

// What the platform takes from the process and its environment.
struct ProcessSettings {
    std::string ownDirectory;     // without a trailing "/" (but "/" itself)
    std::string commandLine;      // the arguments after the program name, joined by blanks
    std::string driveRoot = "/";  // below which "\x" lies: $ORVUPD_DRIVE_ROOT or "/"
    std::string windowsDirectory; // $WINDIR or "/etc"
};

// The directory of the file, without a trailing "/" ("/" for a file in the root).
std::string DirectoryOf(const std::string& file);

// The settings of this process: its executable from /proc/self/exe (argv[0] when that cannot
// be read), its arguments and the environment variables.
ProcessSettings SettingsOfProcess(int argc, char** argv);

class PosixPlatform : public Platform {
  public:
    PosixPlatform(ProcessSettings settings, std::istream& in, bool inputIsTerminal,
                  std::ostream& out, bool outputIsTerminal);

    Answer showMessageBox(const std::string& text, const std::string& title, int style) override;
    std::string ownDirectory() override { return settings_.ownDirectory; }
    std::string commandLine() override { return settings_.commandLine; }
    ProgramVersion version() override;
    FileSystem& files() override { return files_; }
    // A file that cannot be read counts as missing.
    std::string profileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& file) override;
    // Writes the directory and a NUL into the buffer when they fit and returns the
    // directory's length; otherwise leaves the buffer alone and returns the size it needs.
    std::size_t windowsDirectory(std::string& buffer) override;
    // A lock on the file orvupd.lock in the installation's update folder; the system lets go
    // of it when the process ends, however it ends.
    std::unique_ptr<InstallationClaim> claimInstallation(const std::string& installDir) override;
    void pause(int milliseconds) override;
    StartView& startView() override { return startView_; }
    LauncherView& launcherView() override { return launcherView_; }

  private:
    ProcessSettings settings_;
    PosixFileSystem files_;
    Console console_;
    TerminalDialogs dialogs_;
    TerminalStartView startView_;
    TerminalLauncherView launcherView_;
};

} // namespace orv::posix
