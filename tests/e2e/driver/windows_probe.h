#pragma once
// Reading the windows of another process: its message boxes and its status window. Titles and
// captions are read from the window system; what only the window's thread can tell (the text
// of an edit control) is asked with a timeout, so a busy or hung program cannot hang the
// driver.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace orv::e2e {

inline constexpr UINT kAskTimeoutMs = 2000;
// For questions asked over and over while the program works: a busy program is asked again
// on the next round.
inline constexpr UINT kQuickAskTimeoutMs = 100;

std::wstring ClassName(HWND window);
// The window's text through WM_GETTEXT (also for controls of other processes); none when the
// window does not answer in time.
std::optional<std::wstring> AskText(HWND window, UINT timeoutMs);
// AskText with the ordinary timeout; empty when there is no answer.
std::wstring WindowText(HWND window);
// The window's text as the window system keeps it (titles, captions of statics and frames),
// read without asking the window's thread, so also while that thread is busy.
std::wstring StoredText(HWND window);
// Whether the window's thread takes a message within the time (SendMessageTimeout, WM_NULL).
bool Responds(HWND window, UINT timeoutMs);

// Top-level windows of the process, in z-order.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
bool IsMessageBox(HWND window);
// The status window: a top-level window with an edit control (the progress text box) whose
// title begins with "ORVEN-Update".
bool IsStatusWindow(HWND window);

struct MessageBoxView {
    std::wstring title;
    std::wstring text;
    std::vector<int> buttonIds;        // IDOK, IDYES, ... in the box's child order
    std::vector<std::wstring> buttons; // their captions
    std::string icon;                  // none, error, warning, information, question, unknown
    std::string iconSource;            // how the icon was told: handle, colour, hidden, absent
    int style = 0;                     // MB_* flags: button set + icon
};

MessageBoxView ReadMessageBox(HWND box);
// The MB_* button-set flag for the buttons' ids, or -1 for a set that a message box never has.
int ButtonSetFlag(std::vector<int> ids);
// The MB_ICON* flag for an icon name (0 for none, -1 for unknown).
int IconFlag(const std::string& icon);

struct StatusView {
    HWND window = nullptr;
    std::wstring title;
    bool visible = false;
    int clientWidth = 0;
    int clientHeight = 0;
    bool frameVisible = false;
    std::wstring frameCaption;
    bool labelVisible = false;
    std::wstring labelCaption;
    // Where Frame1, picProgress and Label1 lie in the client area, in pixels.
    RECT framePlace{};
    RECT picturePlace{};
    RECT labelPlace{};
    HWND edit = nullptr;
    std::wstring statusText;
    bool statusTextKnown = false; // false: the program was too busy to tell

    bool sameAs(const StatusView& other) const;
};

StatusView ReadStatusWindow(HWND window);

} // namespace orv::e2e
