#include "posix/terminal_views.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "platform/runtime_error.h"
#include "platform/text.h"
#include "ui/start_window.h"

extern char** environ;

namespace orv::posix {
namespace {

// The screen the terminal stands for, in twips: 1920 x 1080 pixels at 96 DPI.
constexpr SizeTwips kScreen{1920 * 15, 1080 * 15};
// The window around its client area: a 4-pixel border and a 23-pixel title bar.
constexpr SizeTwips kWindow{ui::layout::kClientWidth + 2 * 4 * 15,
                            ui::layout::kClientHeight + (23 + 2 * 4) * 15};

// The whole per cent at the start of the bar's text; 0 when there is none.
int PercentOf(const std::string& text) {
    int percent = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        percent = std::min(percent * 10 + (c - '0'), 1000);
    }
    return percent;
}

class SpawnFileActions {
  public:
    SpawnFileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

class SpawnAttributes {
  public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
};

long ShellErrorOf(int error) {
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EACCES:
    case EPERM:
        return 5;
    case ENOEXEC:
        return 11;
    default:
        return 8;
    }
}

} // namespace

void TextSurface::Cls() {
    barWidth_ = 0;
    text_.clear();
    currentX_ = 0;
    currentY_ = 0;
}

void TextSurface::LineFilledBox(float, float, float x2, float, unsigned long) {
    barWidth_ = x2;
}

float TextSurface::TextWidth(const std::string& text) const {
    return kCharWidth * static_cast<float>(text::Len(text));
}

float TextSurface::TextHeight(const std::string&) const {
    return kTextHeight;
}

void TextSurface::Print(const std::string& text) {
    text_ = text;
    textColor_ = foreColor_;
    // Like Print on a picture box, the next output starts on the next line.
    currentX_ = 0;
    currentY_ += kTextHeight;
}

std::string BarLine(const TextSurface& surface) {
    const float share = surface.barWidth() / surface.ScaleWidth();
    const int cells = std::clamp(static_cast<int>(std::lround(share * kBarCells)), 0, kBarCells);
    std::string line = "  [";
    line.append(static_cast<std::size_t>(cells), '#');
    line.append(static_cast<std::size_t>(kBarCells - cells), '.');
    line += ']';
    const std::string& text = surface.text();
    if (!text.empty()) {
        const std::size_t width = text::Len(text);
        line += ' ';
        line.append(width < 5 ? 5 - width : 0, ' ');
        line += text;
    }
    return line;
}

void TerminalStartView::load(StatusTextListener& listener) {
    listener_ = &listener;
    surface_ = TextSurface{};
    title_ = kProgramTitle;
    frameCaption_ = ui::layout::kFrame1Caption;
    labelCaption_ = ui::layout::kLabel1Caption;
    statusText_ = ui::layout::kTxtStatusText;
    visible_ = false;
    titleShown_ = false;
    frameVisible_ = true;
    labelVisible_ = true;
    lastLine_.clear();
    lastBar_.clear();
    lastTenth_ = -1;
}

void TerminalStartView::unload() {
    console_.endStatus();
    listener_ = nullptr;
    visible_ = false;
}

SizeTwips TerminalStartView::screenSize() const {
    return kScreen;
}

SizeTwips TerminalStartView::windowSize() const {
    return kWindow;
}

void TerminalStartView::move(float, float) {}

void TerminalStartView::setTitle(const std::string& title) {
    if (title == title_) return;
    title_ = title;
    titleShown_ = false;
    if (visible_) show();
}

void TerminalStartView::show() {
    visible_ = true;
    if (titleShown_) return;
    titleShown_ = true;
    console_.printLine("");
    console_.printLine("== " + title_ + " ==");
}

void TerminalStartView::setVisible(Control control, bool visible) {
    switch (control) {
    case Control::Window:
        if (visible) {
            show();
        } else {
            visible_ = false;
        }
        break;
    case Control::Frame1:
        frameVisible_ = visible;
        break;
    case Control::Label1:
        labelVisible_ = visible;
        break;
    case Control::PicProgress:
    case Control::TxtStatus:
        break;
    }
}

void TerminalStartView::setCaption(Control control, const std::string& caption) {
    switch (control) {
    case Control::Window:
        setTitle(caption);
        break;
    case Control::Frame1:
        frameCaption_ = caption;
        break;
    case Control::Label1:
        labelCaption_ = caption;
        break;
    case Control::PicProgress:
    case Control::TxtStatus:
        break;
    }
}

void TerminalStartView::refresh(Control control) {
    if (!visible_) return;
    switch (control) {
    case Control::Window:
        if (labelVisible_) {
            printCaption(labelCaption_);
        } else if (frameVisible_) {
            printCaption(frameCaption_);
        }
        break;
    case Control::Frame1:
        if (frameVisible_) printCaption(frameCaption_);
        break;
    case Control::Label1:
        if (labelVisible_) printCaption(labelCaption_);
        break;
    case Control::PicProgress:
        if (frameVisible_) drawBar();
        break;
    case Control::TxtStatus:
        break;
    }
}

void TerminalStartView::setStatusText(const std::string& text) {
    statusText_ = text;
    if (listener_ != nullptr) listener_->statusTextChanged(text);
}

void TerminalStartView::printCaption(const std::string& caption) {
    if (caption == lastLine_) return;
    lastLine_ = caption;
    console_.printLine(caption);
    // The bar under a new caption is drawn afresh.
    lastBar_.clear();
    lastTenth_ = -1;
}

void TerminalStartView::drawBar() {
    const std::string line = BarLine(surface_);
    if (console_.outputIsTerminal()) {
        if (line == lastBar_) return;
        lastBar_ = line;
        console_.showStatus(line);
        return;
    }
    const int percent = PercentOf(surface_.text());
    const int tenth = std::min(percent / 10, 10);
    if (percent == 0) {
        lastTenth_ = 0;
        return;
    }
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    console_.showStatus(line);
}

StartResult StartDetached(const std::string& nativeFile) {
    SpawnFileActions actions;
    SpawnAttributes attributes;
    sigset_t none;
    sigset_t all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    int error = ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (error == 0) {
        error = ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    }
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
    if (error == 0) {
        error = ::posix_spawnattr_setflags(
            attributes.get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    if (error == 0) error = ::posix_spawnattr_setsigmask(attributes.get(), &none);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(attributes.get(), &all);
    if (error != 0) return {-1, error};

    std::string program = nativeFile;
    char* const arguments[] = {program.data(), nullptr};
    pid_t pid = -1;
    error =
        ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), arguments, environ);
    if (error != 0) return {-1, error};
    return {pid, 0};
}

long TerminalLauncherView::shellOpen(const std::string& file) {
    std::string native;
    try {
        native = files_.nativePath(file);
    } catch (const RuntimeError&) {
        return 2;
    }
    const StartResult started = StartDetached(native);
    if (started.error != 0) return ShellErrorOf(started.error);
    return started.pid > 32 ? static_cast<long>(started.pid) : 33;
}

} // namespace orv::posix
