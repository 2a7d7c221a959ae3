#include "support/recording_platform.h"

#include "platform/runtime_error.h"
#include "posix/ini_file.h"

namespace orv::testing {
namespace {

const char* ControlName(Control control) {
    switch (control) {
    case Control::Window:
        return "Start";
    case Control::Frame1:
        return "Frame1";
    case Control::Label1:
        return "Label1";
    case Control::PicProgress:
        return "picProgress";
    case Control::TxtStatus:
        return "txtStatus";
    }
    return "?";
}

} // namespace

void RecordingStartView::load(StatusTextListener& listener) {
    listener_ = &listener;
    state_ = StartState{};
    state_.loaded = true;
    state_.title = "ORVEN-Update";
    state_.frameCaption = "Update-Status";
    state_.labelCaption = "Label1";
    state_.statusText = "Text1";
    surface = RecordingSurface{surface.ScaleWidth(), surface.ScaleHeight()};
    events_.emplace_back("Start load");
}

void RecordingStartView::unload() {
    state_ = StartState{};
    listener_ = nullptr;
    events_.emplace_back("Start unload");
}

void RecordingStartView::move(float leftTwips, float topTwips) {
    state_.left = leftTwips;
    state_.top = topTwips;
}

void RecordingStartView::setTitle(const std::string& title) {
    state_.title = title;
    events_.push_back("Start title " + title);
}

void RecordingStartView::show() {
    state_.shown = true;
    events_.emplace_back("Start show");
}

void RecordingStartView::setVisible(Control control, bool visible) {
    if (control == Control::Frame1) state_.frameVisible = visible;
    if (control == Control::Label1) state_.labelVisible = visible;
    events_.push_back(std::string(ControlName(control)) + (visible ? " show" : " hide"));
}

void RecordingStartView::setCaption(Control control, const std::string& caption) {
    if (control == Control::Frame1) state_.frameCaption = caption;
    if (control == Control::Label1) state_.labelCaption = caption;
    events_.push_back(std::string(ControlName(control)) + " caption " + caption);
}

void RecordingStartView::refresh(Control control) {
    // The bar is redrawn once per progress step; only the other refreshes are of interest.
    if (control != Control::PicProgress) {
        events_.push_back(std::string(ControlName(control)) + " refresh");
    }
}

void RecordingStartView::setStatusText(const std::string& text) {
    if (!state_.loaded)
        throw RuntimeError(err::kInvalidCall, "Das Statusfenster ist nicht geladen");
    state_.statusText = text;
    statusTexts_.push_back(text);
    if (listener_) listener_->statusTextChanged(text);
}

void RecordingLauncherView::load() {
    loaded = true;
    events_.emplace_back("Launcher load");
}

long RecordingLauncherView::shellOpen(const std::string& file) {
    launches.push_back(file);
    events_.push_back("Launcher open " + file);
    return 42;
}

void RecordingLauncherView::unload() {
    loaded = false;
    events_.emplace_back("Launcher unload");
}

RecordingPlatform::RecordingPlatform(const std::string& driveRoot) : real(driveRoot) {}

Answer RecordingPlatform::showMessageBox(const std::string& text, const std::string& title,
                                         int style) {
    boxes.push_back({text, title, style});
    startAtBox.push_back(start.state());
    events.push_back("Box " + title);
    if (onBox) onBox(boxes.size() - 1);
    if (failBoxes) throw SystemError(err::kInternal, kNoWindowHandle);
    const Answer fallback = style == style::kQuestion ? Answer::Yes : Answer::Ok;
    if (answers.empty()) return fallback;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string RecordingPlatform::profileString(const std::string& section, const std::string& key,
                                             const std::string& defaultValue,
                                             std::size_t bufferSize, const std::string& file) {
    ++iniReads;
    if (failIniRead) throw RuntimeError(err::kFileNotFound, "Die Funktion ist nicht erreichbar");
    return posix::ReadProfileString(real.resolve(file), section, key, defaultValue, bufferSize);
}

std::size_t RecordingPlatform::windowsDirectory(std::string& buffer) {
    if (failWindowsDirectory) throw RuntimeError(err::kPathNotFound);
    if (windowsDir.size() < buffer.size()) buffer.replace(0, windowsDir.size(), windowsDir);
    return windowsDir.size();
}

std::unique_ptr<InstallationClaim>
RecordingPlatform::claimInstallation(const std::string& installDir) {
    claims.push_back(installDir);
    if (installationClaimed) return nullptr;
    return std::make_unique<InstallationClaim>();
}

void RecordingPlatform::pause(int milliseconds) {
    pausedMilliseconds += milliseconds;
    if (onPause) onPause(pausedMilliseconds);
}

} // namespace orv::testing
