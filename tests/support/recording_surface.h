#pragma once
// A drawing surface that keeps what was drawn on it, for tests.

#include <string>
#include <vector>

#include "platform/windows.h"

namespace orv::testing {

class RecordingSurface : public DrawingSurface {
  public:
    RecordingSurface(float scaleWidth = 4116, float scaleHeight = 165)
        : width_(scaleWidth), height_(scaleHeight) {}

    // Every text is 90 twips a character wide and 195 high.
    static constexpr float kCharWidth = 90;
    static constexpr float kTextHeight = 195;

    bool AutoRedraw() const override { return autoRedraw_; }
    void SetAutoRedraw(bool on) override;
    void Cls() override;
    float ScaleWidth() const override { return width_; }
    float ScaleHeight() const override { return height_; }
    void LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) override;
    float TextWidth(const std::string& text) const override;
    float TextHeight(const std::string& text) const override;
    float CurrentX() const override { return currentX_; }
    void SetCurrentX(float x) override;
    float CurrentY() const override { return currentY_; }
    void SetCurrentY(float y) override;
    void SetForeColor(unsigned long color) override;
    void Print(const std::string& text) override;

    // The picture as it stands: the bar's right end (-1 for none), the text and its colour.
    struct Picture {
        float barEnd = -1;
        unsigned long barColor = 0;
        std::string text;
        unsigned long textColor = 0;
        float textX = 0;
        float textY = 0;
    };
    const Picture& picture() const { return picture_; }
    // Every operation in order, e.g. "AutoRedraw=1", "Cls", "Line 0,0-41,165 C00000".
    const std::vector<std::string>& operations() const { return operations_; }

  private:
    float width_;
    float height_;
    bool autoRedraw_ = false;
    float currentX_ = 0;
    float currentY_ = 0;
    unsigned long foreColor_ = 0;
    Picture picture_;
    std::vector<std::string> operations_;
};

} // namespace orv::testing
