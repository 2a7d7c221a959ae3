#include "win32/win32_start_view.h"

#include <cmath>
#include <string>

#include "platform/runtime_error.h"
#include "ui/start_window.h"
#include "win32/dpi.h"
#include "win32/message_pump.h"
#include "win32/resources.h"
#include "win32/units.h"
#include "win32/wide.h"

namespace orv::win32 {
namespace {

namespace layout = ui::layout;

// A caption bar without system menu: no close button, since the user must not interrupt an
// update.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr int kTxtStatusId = 100;

WNDCLASSEXW ClassDescription(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                             UINT style) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.style = style;
    description.lpfnWndProc = procedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.lpszClassName = name;
    return description;
}

WNDCLASSEXW WindowClassDescription(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW description =
        ClassDescription(instance, L"OrvenUpdateStart", procedure, CS_NOCLOSE);
    description.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    description.hIconSm = description.hIcon;
    return description;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The view a window of ours belongs to: handed over at creation, kept in the window.
template <typename View> View* ViewOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    return reinterpret_cast<View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

Font MakeFont(int dpi) {
    const int height =
        -static_cast<int>(std::lround(static_cast<double>(layout::kFontPoints) * dpi / 72.0));
    return Font{CreateFontW(height, 0, 0, 0, layout::kFontWeight, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                            Wide(layout::kFontName).c_str())};
}

} // namespace

struct Win32StartView::Loaded {
    Loaded(StatusTextListener& statusListener, int windowDpi)
        : listener(statusListener), dpi(windowDpi), font(MakeFont(windowDpi)) {}

    StatusTextListener& listener;
    int dpi;
    Font font;
    // Declared after the font: the windows go first, then the font they drew with.
    WindowHandle window;
    HWND txtStatus = nullptr;
    HWND frame1 = nullptr;
    HWND picProgress = nullptr;
    HWND label1 = nullptr;
    bool reportChanges = false; // not while the window is being loaded
};

Win32StartView::Win32StartView(HINSTANCE instance)
    : instance_(instance), backBrush_(CreateSolidBrush(ColorOf(layout::kBackColor))),
      frameBrush_(CreateSolidBrush(ColorOf(layout::kFrameBackColor))),
      windowClass_(WindowClassDescription(instance, &Win32StartView::windowProc)),
      frameClass_(ClassDescription(instance, L"OrvenUpdateFrame", &Win32StartView::frameProc, 0)),
      pictureClass_(
          ClassDescription(instance, L"OrvenUpdatePicture", &Win32StartView::pictureProc, 0)),
      surface_(ColorOf(layout::kFrameBackColor), layout::kForeColor) {}

Win32StartView::~Win32StartView() {
    unload();
}

int Win32StartView::pixels(float value) const {
    return TwipsToPixels(value, loaded_ ? loaded_->dpi : WindowDpi(nullptr));
}

float Win32StartView::twips(int value) const {
    return PixelsToTwips(value, loaded_ ? loaded_->dpi : WindowDpi(nullptr));
}

void Win32StartView::load(StatusTextListener& listener) {
    unload();
    // Created hidden at the system's default place; the window model places it.
    WindowHandle window{CreateWindowExW(kWindowExStyle, windowClass_.name(),
                                        Wide(kProgramTitle).c_str(), kWindowStyle, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, this)};
    if (window.get() == nullptr) RaiseLastError();
    loaded_ = std::make_unique<Loaded>(listener, WindowDpi(window.get()));
    loaded_->window = std::move(window);
    try {
        createControls();
        layOut();
        surface_.attach(loaded_->picProgress, loaded_->font.get(), loaded_->dpi);
    } catch (...) {
        unload();
        throw;
    }
    loaded_->reportChanges = true;
}

void Win32StartView::createControls() {
    Loaded& loaded = *loaded_;
    const HWND window = loaded.window.get();
    const auto child = [this](DWORD exStyle, LPCWSTR className, const char* text, DWORD style,
                              HWND parent, int id) {
        const HWND control = CreateWindowExW(
            exStyle, className, Wide(text).c_str(), WS_CHILD | style, 0, 0, 0, 0, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, this);
        if (control == nullptr) RaiseLastError();
        return control;
    };
    // Created in tab order. `txtStatus` only carries the progress text: it stays hidden.
    loaded.txtStatus = child(WS_EX_CLIENTEDGE, L"EDIT", layout::kTxtStatusText,
                             ES_LEFT | ES_AUTOHSCROLL, window, kTxtStatusId);
    loaded.frame1 = child(0, frameClass_.name(), layout::kFrame1Caption,
                          WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, window, 0);
    loaded.picProgress = child(WS_EX_CLIENTEDGE, pictureClass_.name(), "",
                               WS_VISIBLE | WS_CLIPSIBLINGS, loaded.frame1, 0);
    loaded.label1 = child(0, L"STATIC", layout::kLabel1Caption,
                          WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX, window, 0);
}

void Win32StartView::layOut() {
    Loaded& loaded = *loaded_;
    const SIZE outer = OuterSize(SIZE{pixels(layout::kClientWidth), pixels(layout::kClientHeight)},
                                 kWindowStyle, kWindowExStyle, loaded.dpi);
    SetWindowPos(loaded.window.get(), nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const auto place = [this](HWND control, const layout::Rect& rect) {
        SetWindowPos(control, nullptr, pixels(rect.left), pixels(rect.top), pixels(rect.width),
                     pixels(rect.height), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(loaded.txtStatus, layout::kTxtStatus);
    place(loaded.frame1, layout::kFrame1);
    place(loaded.picProgress, layout::kPicProgress);
    place(loaded.label1, layout::kLabel1);
    const auto font = reinterpret_cast<WPARAM>(loaded.font.get());
    SendMessageW(loaded.txtStatus, WM_SETFONT, font, FALSE);
    SendMessageW(loaded.label1, WM_SETFONT, font, FALSE);
}

// The window moved to a screen of another resolution: the same layout, font and picture at
// the new one.
void Win32StartView::changeDpi(int dpi, const RECT& suggested) {
    Loaded& loaded = *loaded_;
    // The old font lives on until the controls and the picture have taken the new one.
    const Font previous = std::move(loaded.font);
    loaded.dpi = dpi;
    loaded.font = MakeFont(dpi);
    SetWindowPos(loaded.window.get(), nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    layOut();
    surface_.rescale(loaded.font.get(), dpi);
    RedrawWindow(loaded.window.get(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32StartView::unload() {
    surface_.detach();
    // The window goes while the view no longer counts it as loaded.
    const std::unique_ptr<Loaded> leaving = std::move(loaded_);
}

SizeTwips Win32StartView::screenSize() const {
    return SizeTwips{twips(GetSystemMetrics(SM_CXSCREEN)), twips(GetSystemMetrics(SM_CYSCREEN))};
}

SizeTwips Win32StartView::windowSize() const {
    if (!loaded_) return SizeTwips{};
    RECT rect{};
    GetWindowRect(loaded_->window.get(), &rect);
    return SizeTwips{twips(rect.right - rect.left), twips(rect.bottom - rect.top)};
}

void Win32StartView::move(float leftTwips, float topTwips) {
    if (!loaded_) return;
    SetWindowPos(loaded_->window.get(), nullptr, pixels(leftTwips), pixels(topTwips), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32StartView::setTitle(const std::string& title) {
    if (loaded_) SetWindowTextW(loaded_->window.get(), Wide(title).c_str());
}

void Win32StartView::show() {
    if (!loaded_) return;
    ShowWindow(loaded_->window.get(), SW_SHOWNORMAL);
    UpdateWindow(loaded_->window.get());
    PumpPendingMessages();
}

HWND Win32StartView::windowOf(Control control) const {
    if (!loaded_) return nullptr;
    switch (control) {
    case Control::Window:
        return loaded_->window.get();
    case Control::Frame1:
        return loaded_->frame1;
    case Control::Label1:
        return loaded_->label1;
    case Control::PicProgress:
        return loaded_->picProgress;
    case Control::TxtStatus:
        return loaded_->txtStatus;
    }
    return nullptr;
}

void Win32StartView::setVisible(Control control, bool visible) {
    if (const HWND window = windowOf(control)) {
        const int childShow = visible ? SW_SHOWNA : SW_HIDE;
        ShowWindow(window, control == Control::Window && visible ? SW_SHOWNORMAL : childShow);
    }
}

void Win32StartView::setCaption(Control control, const std::string& caption) {
    if (control == Control::TxtStatus) return setStatusText(caption);
    if (control == Control::PicProgress) return;
    if (const HWND window = windowOf(control)) SetWindowTextW(window, Wide(caption).c_str());
}

void Win32StartView::refresh(Control control) {
    // The bar is drawn anew for every text of `txtStatus`; the window only repaints it when
    // its pixels changed (a text of the same rounded value, or one clamped to the same end,
    // leaves them as they are).
    if (control == Control::PicProgress && !surface_.takeChangedPicture()) return;
    if (const HWND window = windowOf(control)) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        UpdateWindow(window);
        PumpPendingMessages();
    }
}

void Win32StartView::setStatusText(const std::string& text) {
    if (!loaded_) return;
    listenerError_ = nullptr;
    // A single-line edit control reports the new text with EN_CHANGE before this returns.
    SetWindowTextW(loaded_->txtStatus, Wide(text).c_str());
    if (listenerError_) std::rethrow_exception(std::exchange(listenerError_, nullptr));
    PumpPendingMessages();
}

void Win32StartView::letMessagesThrough() {
    if (loaded_) PumpPendingMessages();
}

void Win32StartView::statusTextChanged() {
    if (!loaded_ || !loaded_->reportChanges) return;
    StatusTextListener& listener = loaded_->listener;
    const std::string text = Utf8(WindowText(loaded_->txtStatus));
    // No exception may cross the system's message dispatch: keep it for setStatusText.
    try {
        listener.statusTextChanged(text);
    } catch (...) {
        listenerError_ = std::current_exception();
    }
}

LRESULT CALLBACK Win32StartView::windowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (auto* view = ViewOf<Win32StartView>(window, message, lParam)) {
        return view->onWindowMessage(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32StartView::frameProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (auto* view = ViewOf<Win32StartView>(window, message, lParam)) {
        return view->onFrameMessage(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32StartView::pictureProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (auto* view = ViewOf<Win32StartView>(window, message, lParam)) {
        return view->onPictureMessage(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32StartView::onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, backBrush_.get());
        return 1;
    }
    case WM_CTLCOLORSTATIC:
        if (loaded_ && reinterpret_cast<HWND>(lParam) == loaded_->label1) {
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, ColorOf(layout::kLabelColor));
            SetBkColor(dc, ColorOf(layout::kBackColor));
            return reinterpret_cast<LRESULT>(backBrush_.get());
        }
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == kTxtStatusId) statusTextChanged();
        return 0;
    case WM_CLOSE:
        return 0; // an update is not to be interrupted
    case WM_DPICHANGED:
        if (loaded_ && window == loaded_->window.get()) {
            changeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// `Frame1`: a group frame in its own background colour, its caption on the etched border.
LRESULT Win32StartView::onFrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_PAINT: {
        const PaintScope paint{window};
        RECT client{};
        GetClientRect(window, &client);
        FillRect(paint.dc(), &client, frameBrush_.get());
        if (!loaded_) return 0;
        const Selection font{paint.dc(), loaded_->font.get()};
        TEXTMETRICW metrics{};
        GetTextMetricsW(paint.dc(), &metrics);
        RECT border = client;
        border.top = metrics.tmHeight / 2;
        DrawEdge(paint.dc(), &border, EDGE_ETCHED, BF_RECT);
        const std::wstring caption = WindowText(window);
        if (!caption.empty()) {
            SIZE extent{};
            GetTextExtentPoint32W(paint.dc(), caption.c_str(), static_cast<int>(caption.size()),
                                  &extent);
            const int left = pixels(120);
            const int gap = pixels(30);
            const RECT behind{left - gap, 0, left + extent.cx + gap, metrics.tmHeight};
            FillRect(paint.dc(), &behind, frameBrush_.get());
            SetBkMode(paint.dc(), TRANSPARENT);
            SetTextColor(paint.dc(), ColorOf(layout::kForeColor));
            TextOutW(paint.dc(), left, 0, caption.c_str(), static_cast<int>(caption.size()));
        }
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// `picProgress`: shows the persistent picture of its drawing surface.
LRESULT Win32StartView::onPictureMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        const PaintScope paint{window};
        RECT client{};
        GetClientRect(window, &client);
        if (!surface_.paint(paint.dc())) FillRect(paint.dc(), &client, frameBrush_.get());
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace orv::win32
