#pragma once
// The status window `Start` as a status line in the terminal, and the launcher window as a
// detached start of the application.

#include <sys/types.h>

#include <string>

#include "platform/windows.h"
#include "posix/posix_file_system.h"
#include "posix/terminal.h"

namespace orv::posix {

// `picProgress` kept in memory: what was drawn last, for the terminal to show as text.
// Its drawing area is the picture box's 4176 x 225 twips less a 3-D border of two pixels
// (30 twips) on each side; text is 90 twips a character and 195 high.
class TextSurface : public DrawingSurface {
  public:
    static constexpr float kScaleWidth = 4116;
    static constexpr float kScaleHeight = 165;
    static constexpr float kCharWidth = 90;
    static constexpr float kTextHeight = 195;

    bool AutoRedraw() const override { return autoRedraw_; }
    void SetAutoRedraw(bool on) override { autoRedraw_ = on; }
    void Cls() override;
    float ScaleWidth() const override { return kScaleWidth; }
    float ScaleHeight() const override { return kScaleHeight; }
    void LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) override;
    float TextWidth(const std::string& text) const override;
    float TextHeight(const std::string& text) const override;
    float CurrentX() const override { return currentX_; }
    void SetCurrentX(float x) override { currentX_ = x; }
    float CurrentY() const override { return currentY_; }
    void SetCurrentY(float y) override { currentY_ = y; }
    void SetForeColor(unsigned long color) override { foreColor_ = color; }
    void Print(const std::string& text) override;

    // The right end of the last bar painted; 0 when the picture is clear.
    float barWidth() const { return barWidth_; }
    // The text printed last and its colour; empty when the picture is clear.
    const std::string& text() const { return text_; }
    unsigned long textColor() const { return textColor_; }

  private:
    bool autoRedraw_ = false;
    float barWidth_ = 0;
    float currentX_ = 0;
    float currentY_ = 0;
    unsigned long foreColor_ = 0;
    std::string text_;
    unsigned long textColor_ = 0;
};

// The bar as one line of text: "  [####....]  45 %" with kBarCells cells.
inline constexpr int kBarCells = 40;
std::string BarLine(const TextSurface& surface);

// `Start` in the terminal. The title is printed when the window is shown; a refresh of the
// window, `Frame1` or `Label1` prints the visible caption on a line of its own (a line equal
// to the one before is not printed again); a refresh of `picProgress` draws the bar while
// the frame is visible: in place on a terminal, otherwise only at each further tenth and at
// 100 %, so that output into a file stays short.
class TerminalStartView : public StartView {
  public:
    explicit TerminalStartView(Console& console) : console_(console) {}

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

    bool loaded() const { return listener_ != nullptr; }
    const std::string& statusText() const { return statusText_; }

  private:
    void printCaption(const std::string& caption);
    void drawBar();

    Console& console_;
    StatusTextListener* listener_ = nullptr;
    TextSurface surface_;
    std::string title_;
    std::string frameCaption_;
    std::string labelCaption_;
    std::string statusText_;
    bool visible_ = false;
    bool titleShown_ = false;
    bool frameVisible_ = true;
    bool labelVisible_ = true;
    std::string lastLine_;
    std::string lastBar_;
    int lastTenth_ = -1;
};

// What starting a program gave: its process id, or the errno of the failure.
struct StartResult {
    pid_t pid = -1;
    int error = 0;
};

// Starts the program detached from the updater: a session of its own, no arguments, standard
// input and output on /dev/null, the updater's working directory. Never throws.
StartResult StartDetached(const std::string& nativeFile);

// The launcher window `frmShellExecute`: opening a file starts it as a program.
class TerminalLauncherView : public LauncherView {
  public:
    explicit TerminalLauncherView(PosixFileSystem& files) : files_(files) {}

    void load() override {}
    // Like ShellExecute: a value above 32 when the program was started (its process id, or
    // 33 for a process id of 32 and below), otherwise an error code: 2 file not found, 3 path
    // not found, 5 access denied, 11 not an executable, 8 for anything else.
    long shellOpen(const std::string& file) override;
    void unload() override {}

  private:
    PosixFileSystem& files_;
};

} // namespace orv::posix
