#include "support/recording_surface.h"

#include <cstdio>

#include "platform/text.h"

namespace orv::testing {
namespace {

std::string Number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string Hex(unsigned long color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06lX", color);
    return buffer;
}

} // namespace

void RecordingSurface::SetAutoRedraw(bool on) {
    autoRedraw_ = on;
    operations_.push_back(std::string("AutoRedraw=") + (on ? "1" : "0"));
}

void RecordingSurface::Cls() {
    picture_ = Picture{};
    currentX_ = 0;
    currentY_ = 0;
    operations_.emplace_back("Cls");
}

void RecordingSurface::LineFilledBox(float x1, float y1, float x2, float y2, unsigned long color) {
    picture_.barEnd = x2;
    picture_.barColor = color;
    operations_.push_back("Line " + Number(x1) + "," + Number(y1) + "-" + Number(x2) + "," +
                          Number(y2) + " " + Hex(color));
}

float RecordingSurface::TextWidth(const std::string& text) const {
    return kCharWidth * static_cast<float>(text::Len(text));
}

float RecordingSurface::TextHeight(const std::string&) const {
    return kTextHeight;
}

void RecordingSurface::SetCurrentX(float x) {
    currentX_ = x;
    operations_.push_back("CurrentX=" + Number(x));
}

void RecordingSurface::SetCurrentY(float y) {
    currentY_ = y;
    operations_.push_back("CurrentY=" + Number(y));
}

void RecordingSurface::SetForeColor(unsigned long color) {
    foreColor_ = color;
    operations_.push_back("ForeColor=" + Hex(color));
}

void RecordingSurface::Print(const std::string& text) {
    picture_.text = text;
    picture_.textColor = foreColor_;
    picture_.textX = currentX_;
    picture_.textY = currentY_;
    operations_.push_back("Print " + text);
}

} // namespace orv::testing
