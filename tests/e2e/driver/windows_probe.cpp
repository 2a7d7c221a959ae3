#include "windows_probe.h"

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <utility>

#include "text_fit.h"
#include "win32/handles.h"

namespace orv::e2e {
namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

LONG_PTR StyleOf(HWND window) {
    return GetWindowLongPtrW(window, GWL_STYLE);
}

// The control's own visibility, whatever its parent's.
bool HasVisibleStyle(HWND window) {
    return (StyleOf(window) & WS_VISIBLE) != 0;
}

// Window enumeration calls back with the system's calling convention, which a lambda does
// not have on 32-bit Windows.
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool IsClass(HWND window, std::wstring_view name) {
    return CompareStringOrdinal(ClassName(window).c_str(), -1, name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

bool IsIconStatic(HWND window) {
    return IsClass(window, L"Static") && (StyleOf(window) & SS_TYPEMASK) == SS_ICON;
}

bool IsGroupBox(HWND window) {
    return IsClass(window, L"Button") && (StyleOf(window) & BS_TYPEMASK) == BS_GROUPBOX;
}

// A static control that shows text (not an icon, bitmap or drawing of its own).
bool IsTextStatic(HWND window) {
    if (!IsClass(window, L"Static")) return false;
    switch (StyleOf(window) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
        return true;
    default:
        return false;
    }
}

// The system icon a message box shows, told by its handle: message boxes show the shared
// icons of LoadIcon(nullptr, IDI_*).
std::optional<std::string> IconByHandle(HICON icon) {
    struct Known {
        LPCWSTR id;
        const char* name;
    };
    const std::array<Known, 4> known{{{IDI_HAND, "error"},
                                      {IDI_EXCLAMATION, "warning"},
                                      {IDI_ASTERISK, "information"},
                                      {IDI_QUESTION, "question"}}};
    for (const Known& k : known) {
        if (LoadIconW(nullptr, k.id) == icon) return k.name;
    }
    return std::nullopt;
}

// The system icon told by its colours on the screen: the critical-stop sign is red, the
// exclamation sign yellow, the information sign blue.
std::string IconByColour(HWND iconControl) {
    RECT r{};
    if (!GetWindowRect(iconControl, &r)) return "unknown";
    const win32::WindowDc screen{nullptr};
    int red = 0;
    int yellow = 0;
    int blue = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(screen.get(), x, y);
            if (c == CLR_INVALID) continue;
            const int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
            if (R > 150 && G < 100 && B < 100)
                ++red;
            else if (R > 150 && G > 150 && B < 100)
                ++yellow;
            else if (B > 150 && R < 120)
                ++blue;
        }
    }
    const int most = std::max({red, yellow, blue});
    if (most < 20) return "unknown";
    if (most == red) return "error";
    if (most == yellow) return "warning";
    return "information";
}

// The icon's name and how it was told ("handle" or "colour").
std::pair<std::string, std::string> IconOf(HWND box) {
    for (HWND child : ChildrenOf(box)) {
        if (!IsIconStatic(child)) continue;
        if (!IsWindowVisible(child)) return {"none", "hidden"};
        DWORD_PTR icon = 0;
        if (!SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &icon))
            return {"unknown", "timeout"};
        if (icon == 0) return {"none", "handle"};
        if (const auto byHandle = IconByHandle(reinterpret_cast<HICON>(icon)))
            return {*byHandle, "handle"};
        return {IconByColour(child), "colour"};
    }
    return {"none", "absent"};
}

} // namespace

std::wstring ClassName(HWND window) {
    std::array<wchar_t, 256> name{};
    const int n = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), static_cast<std::size_t>(std::max(n, 0)));
}

std::optional<std::wstring> AskText(HWND window, UINT timeoutMs) {
    // Asked with room to spare and again with more when the answer fills it: a text that
    // changes between two questions must not come back cut to the old text's length.
    std::size_t room = 1024;
    for (;;) {
        std::wstring text(room, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(),
                                 reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, timeoutMs,
                                 &copied))
            return std::nullopt;
        if (copied + 1 < room || room >= (1u << 20)) {
            text.resize(std::min<std::size_t>(copied, room));
            return text;
        }
        room *= 4;
    }
}

std::wstring WindowText(HWND window) {
    return AskText(window, kAskTimeoutMs).value_or(L"");
}

std::wstring StoredText(HWND window) {
    std::wstring text(4096, L'\0');
    const int n = InternalGetWindowText(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

bool Responds(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> found;
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) found.push_back(window);
    }
    return found;
}

// A dialog with the text control of a message box; the class alone would also take other
// dialogs for message boxes.
bool IsMessageBox(HWND window) {
    if (ClassName(window) != L"#32770") return false;
    HWND text = GetDlgItem(window, kMessageBoxTextId);
    return text != nullptr && IsClass(text, L"Static");
}

// The status window carries the progress text box; a message box never does, not even while
// it is being destroyed and no longer looks like one.
bool IsStatusWindow(HWND window) {
    return StoredText(window).starts_with(L"ORVEN-Update") && !IsMessageBox(window) &&
           FindWindowExW(window, nullptr, L"Edit", nullptr) != nullptr;
}

int ButtonSetFlag(std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    struct Set {
        std::vector<int> ids;
        int flag;
    };
    const std::array<Set, 6> sets{{{{IDOK}, MB_OK},
                                   {{IDOK, IDCANCEL}, MB_OKCANCEL},
                                   {{IDABORT, IDRETRY, IDIGNORE}, MB_ABORTRETRYIGNORE},
                                   {{IDCANCEL, IDYES, IDNO}, MB_YESNOCANCEL},
                                   {{IDYES, IDNO}, MB_YESNO},
                                   {{IDCANCEL, IDRETRY}, MB_RETRYCANCEL}}};
    for (const Set& set : sets) {
        if (set.ids == ids) return set.flag;
    }
    return -1;
}

int IconFlag(const std::string& icon) {
    if (icon == "none") return 0;
    if (icon == "error") return MB_ICONERROR;
    if (icon == "warning") return MB_ICONWARNING;
    if (icon == "information") return MB_ICONINFORMATION;
    if (icon == "question") return MB_ICONQUESTION;
    return -1;
}

MessageBoxView ReadMessageBox(HWND box) {
    MessageBoxView view;
    view.title = WindowText(box);
    if (HWND text = GetDlgItem(box, kMessageBoxTextId)) view.text = WindowText(text);
    for (HWND child : ChildrenOf(box)) {
        if (!IsClass(child, L"Button") || !IsWindowVisible(child)) continue;
        view.buttonIds.push_back(GetDlgCtrlID(child));
        view.buttons.push_back(WindowText(child));
    }
    std::tie(view.icon, view.iconSource) = IconOf(box);
    const int buttons = ButtonSetFlag(view.buttonIds);
    const int icon = IconFlag(view.icon);
    view.style = (buttons < 0 || icon < 0) ? -1 : buttons | icon;
    return view;
}

bool StatusView::sameAs(const StatusView& other) const {
    return window == other.window && title == other.title && visible == other.visible &&
           clientWidth == other.clientWidth && clientHeight == other.clientHeight &&
           frameVisible == other.frameVisible && frameCaption == other.frameCaption &&
           labelVisible == other.labelVisible && labelCaption == other.labelCaption &&
           EqualRect(&framePlace, &other.framePlace) &&
           EqualRect(&picturePlace, &other.picturePlace) &&
           EqualRect(&labelPlace, &other.labelPlace) && statusText == other.statusText;
}

// The status window's own controls, told by kind: Frame1 is the group box, or else the one
// control that holds others (the progress picture); Label1 is the first text static; txtStatus
// the edit control.
StatusView ReadStatusWindow(HWND window) {
    StatusView view;
    view.window = window;
    HWND frame = nullptr;
    HWND label = nullptr;
    for (HWND child : ChildrenOf(window)) {
        if (GetAncestor(child, GA_PARENT) != window) continue;
        if (IsGroupBox(child) || (frame == nullptr && GetWindow(child, GW_CHILD) != nullptr)) {
            frame = child;
        } else if (label == nullptr && IsTextStatic(child)) {
            label = child;
        } else if (view.edit == nullptr && IsClass(child, L"Edit")) {
            view.edit = child;
        }
    }
    // Read in the reverse of the order in which the updater sets a state up (window shown,
    // frame, label, caption): a read that overlaps such a change then sees the caption only
    // together with what was set before it. The other way round, the restart note, which the
    // updater sets up and takes down again within a few milliseconds, could be read with its
    // caption but as a window not yet shown.
    if (label != nullptr) {
        view.labelCaption = StoredText(label);
        view.labelVisible = HasVisibleStyle(label);
        view.labelPlace = PlaceInWindow(label, window);
    }
    if (frame != nullptr) {
        view.frameCaption = StoredText(frame);
        view.frameVisible = HasVisibleStyle(frame);
        view.framePlace = PlaceInWindow(frame, window);
        if (HWND picture = GetWindow(frame, GW_CHILD)) {
            view.picturePlace = PlaceInWindow(picture, window);
        }
    }
    view.title = StoredText(window);
    view.visible = IsWindowVisible(window) != FALSE;
    RECT client{};
    if (GetClientRect(window, &client)) {
        view.clientWidth = client.right - client.left;
        view.clientHeight = client.bottom - client.top;
    }
    // The progress text is asked only while the progress frame shows: the question waits for
    // the updater's thread, and at other times that thread may be busy for a while (starting
    // the application), during which a short-lived window such as the restart note would come
    // and go unseen.
    if (view.edit != nullptr && view.frameVisible) {
        const std::optional<std::wstring> text = AskText(view.edit, kQuickAskTimeoutMs);
        view.statusTextKnown = text.has_value();
        view.statusText = text.value_or(L"");
    }
    return view;
}

} // namespace orv::e2e
