#pragma once
// The drawing surface of a picture box: a persistent bitmap the size of the box's client area,
// addressed in twips, which the box's WM_PAINT copies to the screen.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace orv::win32 {

class GdiSurface final : public DrawingSurface {
  public:
    GdiSurface(COLORREF backColor, unsigned long foreColor);
    ~GdiSurface() override;
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    // Gives the surface a fresh, cleared picture for the window's client area, drawn with the
    // font at the DPI. Until then, and after detach(), drawing goes nowhere.
    void attach(HWND window, HFONT font, int dpi);
    // Keeps the picture, scaled to the window's new client area, font and DPI.
    void rescale(HFONT font, int dpi);
    void detach();
    // Copies the picture to the window's device context; false when there is none.
    bool paint(HDC target) const;
    // Whether the picture's pixels differ from those of the picture last taken here (after
    // attach(): the cleared picture); the current picture counts as taken from now on.
    bool takeChangedPicture();

    bool AutoRedraw() const override { return autoRedraw_; }
    void SetAutoRedraw(bool on) override { autoRedraw_ = on; }
    void Cls() override;
    float ScaleWidth() const override;
    float ScaleHeight() const override;
    void LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) override;
    float TextWidth(const std::string& text) const override;
    float TextHeight(const std::string& text) const override;
    float CurrentX() const override { return currentX_; }
    void SetCurrentX(float x) override { currentX_ = x; }
    float CurrentY() const override { return currentY_; }
    void SetCurrentY(float y) override { currentY_ = y; }
    void SetForeColor(unsigned long color) override { foreColor_ = color; }
    void Print(const std::string& text) override;

  private:
    class Canvas;
    // One drawing operation since the last clearing, in the pixels it lands on: a filled box,
    // or a text from its top left corner.
    struct Stroke {
        int left, top, right, bottom;
        COLORREF color;
        std::wstring text;
        bool operator==(const Stroke&) const = default;
    };

    std::unique_ptr<Canvas> makeCanvas(HFONT font) const;
    int pixels(float twips) const;
    SIZE textExtent(const std::string& text) const;

    const COLORREF backColor_;
    const unsigned long initialForeColor_;
    HWND window_ = nullptr;
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::unique_ptr<Canvas> canvas_;
    std::vector<Stroke> picture_;
    std::optional<std::vector<Stroke>> taken_; // none: the canvas holds no picture of strokes
    bool autoRedraw_ = false;
    float currentX_ = 0;
    float currentY_ = 0;
    unsigned long foreColor_;
};

// A colour as the updater states it (0x00BBGGRR, or 0x800000nn for system colour nn) as GDI
// takes it.
COLORREF ColorOf(unsigned long color);

} // namespace orv::win32
