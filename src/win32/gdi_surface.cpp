#include "win32/gdi_surface.h"

#include <algorithm>
#include <utility>

#include "platform/runtime_error.h"
#include "win32/handles.h"
#include "win32/units.h"
#include "win32/wide.h"

namespace orv::win32 {

COLORREF ColorOf(unsigned long color) {
    constexpr unsigned long kSystemColor = 0x80000000;
    if ((color & kSystemColor) != 0) return GetSysColor(static_cast<int>(color & 0xFF));
    return static_cast<COLORREF>(color & 0xFFFFFF);
}

// The persistent picture: a bitmap selected into a memory DC, with the font for text.
class GdiSurface::Canvas {
  public:
    Canvas(HDC compatibleWith, HFONT font, SIZE size)
        : dc_(CreateCompatibleDC(compatibleWith)),
          bitmap_(CreateCompatibleBitmap(compatibleWith, size.cx, size.cy)),
          bitmapSelection_(dc_.get(), bitmap_.get()), fontSelection_(dc_.get(), font), size_(size) {
        if (dc_.get() == nullptr || bitmap_.get() == nullptr) {
            throw RuntimeError(err::kDeviceIo);
        }
    }

    HDC dc() const { return dc_.get(); }
    SIZE size() const { return size_; }

  private:
    MemoryDc dc_;
    Bitmap bitmap_;
    Selection bitmapSelection_;
    Selection fontSelection_;
    SIZE size_;
};

GdiSurface::GdiSurface(COLORREF backColor, unsigned long foreColor)
    : backColor_(backColor), initialForeColor_(foreColor), foreColor_(foreColor) {}

GdiSurface::~GdiSurface() = default;

std::unique_ptr<GdiSurface::Canvas> GdiSurface::makeCanvas(HFONT font) const {
    RECT client{};
    GetClientRect(window_, &client);
    const SIZE size{std::max(1L, static_cast<long>(client.right)),
                    std::max(1L, static_cast<long>(client.bottom))};
    const WindowDc windowDc{window_};
    auto canvas = std::make_unique<Canvas>(windowDc.get(), font, size);
    const Brush back{CreateSolidBrush(backColor_)};
    const RECT all{0, 0, size.cx, size.cy};
    FillRect(canvas->dc(), &all, back.get());
    return canvas;
}

void GdiSurface::attach(HWND window, HFONT font, int dpi) {
    canvas_.reset();
    window_ = window;
    dpi_ = dpi;
    canvas_ = makeCanvas(font);
    picture_.clear();
    taken_ = picture_;
    autoRedraw_ = false;
    currentX_ = 0;
    currentY_ = 0;
    foreColor_ = initialForeColor_;
}

void GdiSurface::rescale(HFONT font, int dpi) {
    if (!canvas_) return;
    auto scaled = makeCanvas(font);
    const SIZE from = canvas_->size();
    const SIZE to = scaled->size();
    SetStretchBltMode(scaled->dc(), HALFTONE);
    StretchBlt(scaled->dc(), 0, 0, to.cx, to.cy, canvas_->dc(), 0, 0, from.cx, from.cy, SRCCOPY);
    canvas_ = std::move(scaled);
    dpi_ = dpi;
    // The stretched pixels are no picture the strokes describe.
    taken_.reset();
}

void GdiSurface::detach() {
    canvas_.reset();
    window_ = nullptr;
    picture_.clear();
    taken_.reset();
}

bool GdiSurface::takeChangedPicture() {
    if (taken_ == picture_) return false;
    taken_ = picture_;
    return true;
}

bool GdiSurface::paint(HDC target) const {
    if (!canvas_) return false;
    const SIZE size = canvas_->size();
    BitBlt(target, 0, 0, size.cx, size.cy, canvas_->dc(), 0, 0, SRCCOPY);
    return true;
}

int GdiSurface::pixels(float twips) const {
    return TwipsToPixels(twips, dpi_);
}

void GdiSurface::Cls() {
    currentX_ = 0;
    currentY_ = 0;
    picture_.clear();
    if (!canvas_) return;
    const Brush back{CreateSolidBrush(backColor_)};
    const RECT all{0, 0, canvas_->size().cx, canvas_->size().cy};
    FillRect(canvas_->dc(), &all, back.get());
}

float GdiSurface::ScaleWidth() const {
    return canvas_ ? PixelsToTwips(canvas_->size().cx, dpi_) : 0.0f;
}

float GdiSurface::ScaleHeight() const {
    return canvas_ ? PixelsToTwips(canvas_->size().cy, dpi_) : 0.0f;
}

void GdiSurface::LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) {
    if (!canvas_) return;
    // Both corners belong to the box.
    const RECT box{pixels(std::min(x1, x2)), pixels(std::min(y1, y2)), pixels(std::max(x1, x2)) + 1,
                   pixels(std::max(y1, y2)) + 1};
    const Brush brush{CreateSolidBrush(ColorOf(color))};
    FillRect(canvas_->dc(), &box, brush.get());
    picture_.push_back(Stroke{box.left, box.top, box.right, box.bottom, ColorOf(color), L""});
}

SIZE GdiSurface::textExtent(const std::string& text) const {
    SIZE size{0, 0};
    if (canvas_) {
        const std::wstring wide = Wide(text);
        GetTextExtentPoint32W(canvas_->dc(), wide.c_str(), static_cast<int>(wide.size()), &size);
    }
    return size;
}

float GdiSurface::TextWidth(const std::string& text) const {
    return PixelsToTwips(textExtent(text).cx, dpi_);
}

float GdiSurface::TextHeight(const std::string& text) const {
    return PixelsToTwips(textExtent(text).cy, dpi_);
}

void GdiSurface::Print(const std::string& text) {
    if (canvas_) {
        const std::wstring wide = Wide(text);
        const int left = pixels(currentX_);
        const int top = pixels(currentY_);
        SetBkMode(canvas_->dc(), TRANSPARENT);
        SetTextColor(canvas_->dc(), ColorOf(foreColor_));
        TextOutW(canvas_->dc(), left, top, wide.c_str(), static_cast<int>(wide.size()));
        picture_.push_back(Stroke{left, top, left, top, ColorOf(foreColor_), wide});
    }
    // Like a print that ends its line: the next one starts below, at the left edge.
    currentY_ += TextHeight(text);
    currentX_ = 0;
}

} // namespace orv::win32
