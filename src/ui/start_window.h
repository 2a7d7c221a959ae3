#pragma once
// The status window `Start`: a model of its state that a front end's StartView renders.

#include <string>

#include "platform/platform.h"

namespace orv::ui {

// Layout of `Start` in twips, as loaded.
namespace layout {
inline constexpr float kClientWidth = 4575;
inline constexpr float kClientHeight = 1215;
inline constexpr unsigned long kBackColor = 0xE0E0E0;
inline constexpr unsigned long kFrameBackColor = 0xDEEFEF;
inline constexpr unsigned long kForeColor = 0x80000008;  // system colour 8, window text
inline constexpr unsigned long kLabelColor = 0x8000000D; // system colour 13, highlight
inline constexpr const char* kFontName = "MS Sans Serif";
inline constexpr float kFontPoints = 8.25f;
inline constexpr int kFontWeight = 700;
struct Rect {
    float left, top, width, height;
};
inline constexpr Rect kFrame1{108, 156, 4368, 888};     // in the window
inline constexpr Rect kPicProgress{84, 348, 4176, 225}; // in Frame1
inline constexpr Rect kTxtStatus{4332, 144, 384, 288};  // in the window
inline constexpr Rect kLabel1{240, 336, 4248, 264};     // in the window
inline constexpr const char* kFrame1Caption = "Update-Status";
inline constexpr const char* kLabel1Caption = "Label1";
inline constexpr const char* kTxtStatusText = "Text1";
} // namespace layout

class StartWindow : private StatusTextListener {
  public:
    StartWindow(StartView& view, ProgramVersion version) : view_(view), version_(version) {}

    // Loads the window when it is not loaded (centred, titled), then shows it modeless.
    void show();
    void refresh();
    void setFrameVisible(bool visible);
    void setFrameCaption(const std::string& caption);
    void refreshFrame();
    void setLabelVisible(bool visible);
    void setLabelCaption(const std::string& caption);
    void refreshLabel();
    void unload();
    bool loaded() const { return loaded_; }

    // The handle of `txtStatus`, which the zip component writes its progress into.
    ProgressTarget& statusTarget();

  private:
    class StatusTarget : public ProgressTarget {
      public:
        explicit StatusTarget(StartView& view) : view_(view) {}
        void setText(const std::string& text) override { view_.setStatusText(text); }
        void stillWorking() override { view_.letMessagesThrough(); }

      private:
        StartView& view_;
    };

    void load();
    void statusTextChanged(const std::string& text) override;

    StartView& view_;
    ProgramVersion version_;
    StatusTarget statusTarget_{view_};
    bool loaded_ = false;
};

} // namespace orv::ui
