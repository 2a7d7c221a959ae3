#pragma once
// Everything through which the updater reaches the world. Front ends implement it and
// hand it to Main.

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/patient_file_system.h"
#include "platform/run_log.h"
#include "platform/windows.h"

namespace orv {

// Message-box styles: the Windows flags.
namespace style {
inline constexpr int kPlain = 0;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 52; // exclamation with Yes/No
inline constexpr int kInformation = 64;
} // namespace style

enum class Answer { Ok, Yes, No };

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The updater's name, the title of its windows and of its boxes.
inline constexpr const char* kProgramTitle = "ORVEN-Update";
// The name with the version: "ORVEN-Update 3.0.0".
std::string VersionTitle(const ProgramVersion& version);

// An updater's hold on an installation; let go when destroyed, and by the system when the
// process ends in any way.
class InstallationClaim {
  public:
    virtual ~InstallationClaim() = default;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Shows the box and notes it, with the answer, in the run's log. A box that cannot be shown
    // is noted with its error and answers No to a question (Yes/No buttons), otherwise OK.
    Answer messageBox(const std::string& text, const std::string& title, int style);

    // The directory of the running executable, without a trailing separator.
    virtual std::string ownDirectory() = 0;
    // The argument string after the program name, as passed.
    virtual std::string commandLine() = 0;
    virtual ProgramVersion version() = 0;

    virtual FileSystem& files() = 0;
    // The same files, waiting out a moment's hold of another program on what the run changes
    // or opens (see PatientFileSystem); one for the whole run, so that its time is the run's.
    PatientFileSystem& patientFiles();

    // GetPrivateProfileString: the key's value cut to bufferSize - 1 characters, or
    // defaultValue when the file, section or key is missing.
    virtual std::string profileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue, std::size_t bufferSize,
                                      const std::string& file) = 0;
    // GetWindowsDirectory: writes the directory into the buffer when it fits and returns its
    // length (or the length it needs).
    virtual std::size_t windowsDirectory(std::string& buffer) = 0;

    // Claims the installation for this run; null when another updater holds it. Where the
    // platform cannot tell (no place for the claim), the run goes on unclaimed.
    virtual std::unique_ptr<InstallationClaim> claimInstallation(const std::string& installDir) = 0;
    // Waits this long, the windows answering meanwhile.
    virtual void pause(int milliseconds) = 0;

    virtual StartView& startView() = 0;
    virtual LauncherView& launcherView() = 0;

    // The run's log, for the people who support the updater.
    RunLog& log() { return log_; }

  protected:
    // Raises RuntimeError (with the system's code) when the box cannot be shown.
    virtual Answer showMessageBox(const std::string& text, const std::string& title, int style) = 0;

  private:
    RunLog log_;
    std::unique_ptr<PatientFileSystem> patientFiles_;
};

} // namespace orv
