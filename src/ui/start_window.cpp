#include "ui/start_window.h"

#include "ui/progress_channel.h"

namespace orv::ui {

void StartWindow::load() {
    view_.load(*this);
    loaded_ = true;
    // The load reaction: centred on the screen (exact halves, not rounded), then the title.
    const SizeTwips screen = view_.screenSize();
    const SizeTwips window = view_.windowSize();
    const float left = (screen.width - window.width) / 2;
    const float top = (screen.height - window.height) / 2;
    view_.move(left, top);
    view_.setTitle(VersionTitle(version_));
}

void StartWindow::show() {
    if (!loaded_) load();
    view_.show();
}

void StartWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    view_.unload();
}

// Reaching a control of an unloaded window loads it first, without showing it.
void StartWindow::refresh() {
    if (!loaded_) load();
    view_.refresh(Control::Window);
}

void StartWindow::setFrameVisible(bool visible) {
    if (!loaded_) load();
    view_.setVisible(Control::Frame1, visible);
}

void StartWindow::setFrameCaption(const std::string& caption) {
    if (!loaded_) load();
    view_.setCaption(Control::Frame1, caption);
}

void StartWindow::refreshFrame() {
    if (!loaded_) load();
    view_.refresh(Control::Frame1);
}

void StartWindow::setLabelVisible(bool visible) {
    if (!loaded_) load();
    view_.setVisible(Control::Label1, visible);
}

void StartWindow::setLabelCaption(const std::string& caption) {
    if (!loaded_) load();
    view_.setCaption(Control::Label1, caption);
}

void StartWindow::refreshLabel() {
    if (!loaded_) load();
    view_.refresh(Control::Label1);
}

ProgressTarget& StartWindow::statusTarget() {
    if (!loaded_) load();
    return statusTarget_;
}

void StartWindow::statusTextChanged(const std::string& text) {
    ReactToStatusText(text, view_.progressSurface());
    view_.refresh(Control::PicProgress);
}

} // namespace orv::ui
