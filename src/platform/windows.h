#pragma once
// What the front ends render: the status window `Start`, its drawing surface
// `picProgress`, the progress channel `txtStatus`, and the launcher window.

#include <string>

namespace orv {

// The native handle of a text box that the zip component writes its progress into.
class ProgressTarget {
  public:
    virtual ~ProgressTarget() = default;
    virtual void setText(const std::string& text) = 0;
    // Called now and then during long work that changes no text, so that the window the
    // target belongs to keeps answering.
    virtual void stillWorking() {}
};

// A picture box's drawing operations, under their own names. Units are the surface's scale
// (twips for `picProgress`), colours 0x00BBGGRR.
class DrawingSurface {
  public:
    virtual ~DrawingSurface() = default;
    virtual bool AutoRedraw() const = 0;
    virtual void SetAutoRedraw(bool on) = 0;
    virtual void Cls() = 0;
    virtual float ScaleWidth() const = 0;
    virtual float ScaleHeight() const = 0;
    // The filled-box form: paints the rectangle between the corners, border and interior.
    virtual void LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) = 0;
    virtual float TextWidth(const std::string& text) const = 0;
    virtual float TextHeight(const std::string& text) const = 0;
    virtual float CurrentX() const = 0;
    virtual void SetCurrentX(float x) = 0;
    virtual float CurrentY() const = 0;
    virtual void SetCurrentY(float y) = 0;
    virtual void SetForeColor(unsigned long color) = 0;
    // Draws the text at (CurrentX, CurrentY), leaving the background behind the letters.
    virtual void Print(const std::string& text) = 0;
};

// The controls of `Start` that the updater addresses.
enum class Control { Window, Frame1, Label1, PicProgress, TxtStatus };

struct SizeTwips {
    float width = 0;
    float height = 0;
};

// Told by a view whenever the text of `txtStatus` changes, whoever changed it.
class StatusTextListener {
  public:
    virtual ~StatusTextListener() = default;
    virtual void statusTextChanged(const std::string& text) = 0;
};

// A front end's rendering of `Start`. The window model in ui/ decides what is shown; the
// view only carries it out.
class StartView {
  public:
    virtual ~StartView() = default;
    // Creates the window and its controls in their layout state, not yet visible.
    virtual void load(StatusTextListener& listener) = 0;
    virtual void unload() = 0;
    virtual SizeTwips screenSize() const = 0;
    virtual SizeTwips windowSize() const = 0; // outer size
    virtual void move(float leftTwips, float topTwips) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void show() = 0; // modeless
    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setCaption(Control control, const std::string& caption) = 0;
    virtual void refresh(Control control) = 0;
    // Sets the text of `txtStatus`; the view then tells its listener.
    virtual void setStatusText(const std::string& text) = 0;
    virtual DrawingSurface& progressSurface() = 0;
    // Lets the window answer (paint, move) during long work that changes nothing it shows.
    virtual void letMessagesThrough() {}
};

// A front end's rendering of `frmShellExecute`.
class LauncherView {
  public:
    virtual ~LauncherView() = default;
    virtual void load() = 0;
    // Asks the shell to open the file, owned by this window; returns the shell's result.
    virtual long shellOpen(const std::string& file) = 0;
    virtual void unload() = 0;
};

} // namespace orv
