#pragma once
// The recording front end: the updater's platform over real files in a sandbox, with message
// boxes answered from a script and every box and window change recorded.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/recording_surface.h"

namespace orv::testing {

struct Box {
    std::string text;
    std::string title;
    int style = 0;
};

// The state of the status window as the user would see it.
struct StartState {
    bool loaded = false;
    bool shown = false;
    std::string title;
    bool frameVisible = true;
    std::string frameCaption;
    bool labelVisible = true;
    std::string labelCaption;
    std::string statusText;
    float left = 0;
    float top = 0;
};

class RecordingStartView : public StartView {
  public:
    explicit RecordingStartView(std::vector<std::string>& events) : events_(events) {}

    void load(StatusTextListener& listener) override;
    void unload() override;
    SizeTwips screenSize() const override { return screen; }
    SizeTwips windowSize() const override { return window; }
    void move(float leftTwips, float topTwips) override;
    void setTitle(const std::string& title) override;
    void show() override;
    void setVisible(Control control, bool visible) override;
    void setCaption(Control control, const std::string& caption) override;
    void refresh(Control control) override;
    void setStatusText(const std::string& text) override;
    DrawingSurface& progressSurface() override { return surface; }

    const StartState& state() const { return state_; }
    // Every text that txtStatus was given, in order.
    const std::vector<std::string>& statusTexts() const { return statusTexts_; }

    SizeTwips screen{19200, 14400};
    SizeTwips window{4695, 1620};
    RecordingSurface surface;

  private:
    std::vector<std::string>& events_;
    StatusTextListener* listener_ = nullptr;
    StartState state_;
    std::vector<std::string> statusTexts_;
};

class RecordingLauncherView : public LauncherView {
  public:
    explicit RecordingLauncherView(std::vector<std::string>& events) : events_(events) {}
    void load() override;
    long shellOpen(const std::string& file) override;
    void unload() override;

    std::vector<std::string> launches;
    bool loaded = false;

  private:
    std::vector<std::string>& events_;
};

class RecordingPlatform : public Platform {
  public:
    // driveRoot: the sandbox folder that rooted paths ("\x") lie below.
    explicit RecordingPlatform(const std::string& driveRoot);

    Answer showMessageBox(const std::string& text, const std::string& title, int style) override;
    std::string ownDirectory() override { return ownDir; }
    std::string commandLine() override { return commandLineText; }
    ProgramVersion version() override { return {3, 0, 0}; }
    FileSystem& files() override { return faulty; }
    std::string profileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& file) override;
    std::size_t windowsDirectory(std::string& buffer) override;
    std::unique_ptr<InstallationClaim> claimInstallation(const std::string& installDir) override;
    // Waits no time: adds to pausedMilliseconds and tells onPause the total so far.
    void pause(int milliseconds) override;
    StartView& startView() override { return start; }
    LauncherView& launcherView() override { return launcher; }

    // Answers for the boxes, in order; when they run out, each box gets its default button.
    std::deque<Answer> answers;
    // Called at each box before it is answered, with the box's index.
    std::function<void(std::size_t)> onBox;
    std::vector<Box> boxes;
    // Window changes and boxes in the order they happened.
    std::vector<std::string> events;
    // The status window's state at each box.
    std::vector<StartState> startAtBox;

    std::string ownDir;
    std::string commandLineText;
    std::string windowsDir = "/nonexistent-windows";
    bool failIniRead = false;
    // Every message box fails to show (as without a desktop), with this system code.
    bool failBoxes = false;
    static constexpr int kNoWindowHandle = 1400;
    bool failWindowsDirectory = false;
    std::size_t iniReads = 0;
    // Another updater works on the installation: claimInstallation() gives null.
    bool installationClaimed = false;
    std::vector<std::string> claims;
    int pausedMilliseconds = 0;
    std::function<void(int)> onPause;

    posix::PosixFileSystem real;
    FaultyFileSystem faulty{real};
    RecordingStartView start{events};
    RecordingLauncherView launcher{events};
};

} // namespace orv::testing
