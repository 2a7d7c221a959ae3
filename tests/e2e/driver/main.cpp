// orvdriver: starts the updater, reads and answers its message boxes, follows its status
// window, and writes all of it to a transcript for the scenario runner to compare.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "options.h"
#include "responsiveness.h"
#include "screenshot.h"
#include "text_fit.h"
#include "transcript.h"
#include "win32/handles.h"
#include "windows_probe.h"

namespace orv::e2e {
namespace {

constexpr DWORD kPollMs = 5;
constexpr DWORD kSettleMs = 150;  // a box or window repaints after a change
constexpr DWORD kRepaintMs = 300; // before a screenshot
constexpr ULONGLONG kBoxCloseMs = 5000;
constexpr ULONGLONG kHoldReadyMs = 15000;
constexpr int kExitTimeout = 2;

struct StartedProcess {
    win32::KernelHandle process;
    DWORD id = 0;
};

StartedProcess Launch(const std::wstring& exe, const std::wstring& args) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!args.empty()) commandLine += L" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Wine now and then refuses a start with an internal error (1359) while another process
    // of the prefix is starting up; a few more tries get through.
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kAttempts) {
            throw std::runtime_error("cannot start " + Utf8(exe) + " (error " +
                                     std::to_string(error) + ")");
        }
        Sleep(300);
    }
    const win32::KernelHandle thread(info.hThread);
    return StartedProcess{win32::KernelHandle(info.hProcess), info.dwProcessId};
}

bool Running(const win32::KernelHandle& process) {
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// Whether some other program holds the file so that no one can open it.
bool HeldByOther(const std::wstring& path) {
    const win32::KernelHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, 0, nullptr));
    return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

// A file that a running program has loaded as a library may be read by anyone, but written by
// no one.
bool LoadedByOther(const std::wstring& path) {
    const win32::KernelHandle file(CreateFileW(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

int ButtonId(Answer answer) {
    switch (answer) {
    case Answer::Yes:
        return IDYES;
    case Answer::No:
        return IDNO;
    case Answer::Ok:
        return IDOK;
    }
    return IDOK;
}

std::wstring JoinButtons(const std::vector<std::wstring>& captions) {
    std::wstring joined;
    for (const std::wstring& caption : captions) {
        if (!joined.empty()) joined += L"|";
        joined += caption;
    }
    return joined;
}

// "box-03.bmp" for stem "box" and 3.
std::wstring Numbered(const std::wstring& stem, int n) {
    const std::wstring digits = std::to_wstring(n);
    return stem + L"-" + (digits.size() < 2 ? L"0" : L"") + digits + L".bmp";
}

// "x,y,width,height".
std::string Place(const RECT& place) {
    return std::to_string(place.left) + "," + std::to_string(place.top) + "," +
           std::to_string(place.right - place.left) + "," +
           std::to_string(place.bottom - place.top);
}

Record& AddStatus(Record& record, const std::string& prefix, const StatusView& view) {
    // The captions as the user reads them: in the font's real face and at the screen's
    // resolution, each to fit its control on one line.
    const int dpi = GetDeviceCaps(win32::WindowDc{nullptr}.get(), LOGPIXELSY);
    const CaptionSize label = MeasureCaption(view.labelCaption, dpi);
    const CaptionSize frame = MeasureCaption(view.frameCaption, dpi);
    record.word(prefix + "framePlace", Place(view.framePlace))
        .word(prefix + "picturePlace", Place(view.picturePlace))
        .word(prefix + "labelPlace", Place(view.labelPlace))
        .text(prefix + "face", label.face)
        .word(prefix + "labelText",
              std::to_string(label.width) + "x" + std::to_string(label.height))
        .word(prefix + "frameText",
              std::to_string(frame.width) + "x" + std::to_string(frame.height));
    return record.text(prefix + "title", view.title)
        .flag(prefix + "visible", view.visible)
        .word(prefix + "client",
              std::to_string(view.clientWidth) + "x" + std::to_string(view.clientHeight))
        .flag(prefix + "frame", view.frameVisible)
        .text(prefix + "frameCaption", view.frameCaption)
        .flag(prefix + "label", view.labelVisible)
        .text(prefix + "labelCaption", view.labelCaption)
        .text(prefix + "txt", view.statusText);
}

std::optional<int> LeadingNumber(const std::wstring& text) {
    std::size_t used = 0;
    try {
        const int value = std::stoi(text, &used);
        if (used > 0) return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

class Driver {
  public:
    explicit Driver(Options options)
        : options_(std::move(options)), transcript_(options_.transcript) {
        pendingProgressShots_ = options_.shotAtProgress;
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    // The stand-ins that hold files end with the driver, also when the updater did not start.
    ~Driver() { endHolds(); }

    int run() {
        const win32::WindowDc screen{nullptr};
        transcript_.write(Record("start")
                              .text("exe", options_.exe)
                              .text("args", options_.args.value_or(L""))
                              .number("dpi", GetDeviceCaps(screen.get(), LOGPIXELSX))
                              .word("screen", std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                                                  std::to_string(GetSystemMetrics(SM_CYSCREEN))));
        startHolds(0);
        updater_ = Launch(options_.exe, options_.args.value_or(L""));
        transcript_.write(Record("started").number("pid", updater_.id));

        const ULONGLONG deadline = GetTickCount64() + 1000ULL * options_.timeoutSeconds;
        bool timedOut = false;
        for (;;) {
            const bool ended =
                WaitForSingleObject(updater_.process.get(), kPollMs) == WAIT_OBJECT_0;
            observe();
            if (ended) break;
            if (GetTickCount64() > deadline) {
                timedOut = true;
                TerminateProcess(updater_.process.get(), 1);
                WaitForSingleObject(updater_.process.get(), 5000);
                transcript_.write(Record("timeout").number("seconds", options_.timeoutSeconds));
                break;
            }
        }
        if (status_) transcript_.write(Record("status-gone").number("window", statusWindows_));
        watch_.watch(nullptr, false);
        writeLapses();
        endHolds();

        DWORD exitCode = 0;
        GetExitCodeProcess(updater_.process.get(), &exitCode);
        transcript_.write(Record("end")
                              .number("exit", exitCode)
                              .flag("killed", timedOut)
                              .number("boxes", boxes_)
                              .number("responded", watch_.answered())
                              .number("unresponsive", unresponsive_)
                              .number("busy", busy_));
        return timedOut ? kExitTimeout : 0;
    }

  private:
    void observe() {
        const std::vector<HWND> windows = TopLevelWindowsOf(updater_.id);
        HWND status = nullptr;
        for (HWND w : windows) {
            if (IsStatusWindow(w)) {
                status = w;
                break;
            }
        }
        if (options_.boxesOnly) {
            for (HWND w : windows) {
                if (w != status && IsMessageBox(w) && IsWindowVisible(w)) {
                    answerBox(w, nullptr);
                    return;
                }
            }
            return;
        }
        followStatus(status);
        for (HWND w : windows) {
            if (w == status) continue;
            if (IsMessageBox(w)) {
                if (IsWindowVisible(w)) {
                    answerBox(w, status);
                    return; // the windows have changed; look again on the next round
                }
            } else if (IsWindowVisible(w) && otherWindows_.insert(w).second) {
                transcript_.write(
                    Record("window").text("title", StoredText(w)).text("class", ClassName(w)));
            }
        }
    }

    void followStatus(HWND window) {
        writeLapses();
        if (window == nullptr) {
            if (status_) transcript_.write(Record("status-gone").number("window", statusWindows_));
            status_.reset();
            watch_.watch(nullptr, false);
            return;
        }
        StatusView view = ReadStatusWindow(window);
        if (!IsWindow(window)) return; // gone while being read
        const bool sameWindow = status_ && status_->window == window;
        if (!view.statusTextKnown && sameWindow) view.statusText = status_->statusText;
        if (!sameWindow) ++statusWindows_;
        if (!status_ || !status_->sameAs(view)) {
            Record record("status");
            record.number("window", statusWindows_);
            transcript_.write(AddStatus(record, "", view));
        }
        const bool freshText = sameWindow && view.statusText != status_->statusText;
        status_ = view;
        watch_.watch(window, view.frameVisible);
        if (freshText) takeProgressShots(view);
    }

    // A status window that did not answer within a second: while it showed progress, that is
    // a window the user would see hang; otherwise the program was busy between two steps.
    void writeLapses() {
        for (const ResponsivenessWatch::Lapse& lapse : watch_.takeLapses()) {
            ++(lapse.duringProgress ? unresponsive_ : busy_);
            transcript_.write(Record("unresponsive")
                                  .number("window", statusWindows_)
                                  .flag("progress", lapse.duringProgress));
        }
    }

    // Photographs the progress bar when a newly written percentage lies just at or above a
    // wanted one (within kShotSpread). The text left from an earlier step does not count.
    void takeProgressShots(const StatusView& view) {
        constexpr int kShotSpread = 10;
        if (options_.shotsDir.empty()) return;
        const std::optional<int> percent = LeadingNumber(view.statusText);
        if (!percent || !view.frameVisible || view.labelVisible) return;
        const auto due = std::find_if(
            pendingProgressShots_.begin(), pendingProgressShots_.end(),
            [&](int wanted) { return wanted <= *percent && *percent < wanted + kShotSpread; });
        if (due != pendingProgressShots_.end()) {
            const int wanted = *due;
            pendingProgressShots_.erase(due);
            const std::wstring file = shotPath(Numbered(L"progress", wanted));
            const bool saved = SaveScreenshot(view.window, Area::Client, file);
            transcript_.write(Record("shot")
                                  .word("of", "progress")
                                  .number("wanted", wanted)
                                  .text("txt", view.statusText)
                                  .text("file", file)
                                  .flag("ok", saved));
        }
    }

    void answerBox(HWND box, HWND statusWindow) {
        const int n = ++boxes_;
        // When the box was first seen: from then on the run waits for its answer.
        const std::int64_t seen = transcript_.elapsedMs();
        Sleep(kSettleMs);
        const MessageBoxView view = ReadMessageBox(box);
        Record record("box");
        record.number("n", n)
            .number("seen", seen)
            .text("title", view.title)
            .number("style", view.style)
            .text("buttons", JoinButtons(view.buttons))
            .word("icon", view.icon)
            .word("iconBy", view.iconSource)
            .text("text", view.text);
        if (statusWindow != nullptr && IsWindow(statusWindow)) {
            record.flag("status", true);
            AddStatus(record, "s.", ReadStatusWindow(statusWindow));
        } else {
            record.flag("status", false);
        }
        transcript_.write(record);

        startHolds(n);
        if (!options_.shotsDir.empty()) takeBoxShots(box, statusWindow, n);
        if (n == options_.barShotsAtBox && statusWindow != nullptr) takeBarShots(statusWindow);
        click(box, n, view);
    }

    void takeBoxShots(HWND box, HWND statusWindow, int n) {
        // Message boxes open over the middle of the screen, where the status window is too.
        SetWindowPos(box, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(kRepaintMs);
        shoot("box", n, box, Area::Window, L"box");
        if (statusWindow == nullptr || !IsWindow(statusWindow)) return;
        shoot("status", n, statusWindow, Area::Client, L"status-at-box");
    }

    void shoot(const char* of, int n, HWND window, Area area, const std::wstring& stem) {
        const std::wstring file = shotPath(Numbered(stem, n));
        const bool saved = SaveScreenshot(window, area, file);
        transcript_.write(
            Record("shot").word("of", of).number("n", n).text("file", file).flag("ok", saved));
    }

    // Sets the progress text through the status window's edit control, as the zip component
    // does, and photographs the bar for each value; then puts the old text back.
    void takeBarShots(HWND statusWindow) {
        const StatusView view = ReadStatusWindow(statusWindow);
        if (view.edit == nullptr) {
            transcript_.write(Record("bar-shots-failed").word("reason", "no-edit-control"));
            return;
        }
        for (const int percent : {0, 1, 50, 100}) {
            const std::wstring text = std::to_wstring(percent);
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(view.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                SMTO_ABORTIFHUNG, kAskTimeoutMs, &ignored);
            Sleep(kRepaintMs);
            const std::wstring file = shotPath(Numbered(L"bar", percent));
            transcript_.write(Record("shot")
                                  .word("of", "bar")
                                  .number("percent", percent)
                                  .text("txt", WindowText(view.edit))
                                  .text("file", file)
                                  .flag("ok", SaveScreenshot(statusWindow, Area::Client, file)));
        }
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(view.edit, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(view.statusText.c_str()), SMTO_ABORTIFHUNG,
                            kAskTimeoutMs, &ignored);
    }

    void click(HWND box, int n, const MessageBoxView& view) {
        const bool scripted = nextAnswer_ < options_.answers.size();
        Answer answer = Answer::Ok;
        if (scripted) {
            answer = options_.answers[nextAnswer_++];
        } else if (options_.defaultAnswer) {
            answer = *options_.defaultAnswer;
        } else {
            // Not in the scenario: leave the safe way out, which installs nothing.
            const bool hasNo = std::find(view.buttonIds.begin(), view.buttonIds.end(), IDNO) !=
                               view.buttonIds.end();
            answer = hasNo ? Answer::No : Answer::Ok;
        }
        const int id = ButtonId(answer);
        HWND button = GetDlgItem(box, id);
        bool available = button != nullptr && IsWindowVisible(button);
        // Posted: the click ends the box's modal loop, and a sent click would wait for it.
        if (available) PostMessageW(button, BM_CLICK, 0, 0);
        bool closed = waitUntilGone(box, kBoxCloseMs / 2);
        if (!closed) {
            // The button did not take the click (or the answer is not on the box): close the
            // box through its dialog command, with the answer or the box's own default.
            const int fallback =
                available ? id : (view.buttonIds.empty() ? IDOK : view.buttonIds.front());
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(fallback, BN_CLICKED), 0);
            closed = waitUntilGone(box, kBoxCloseMs / 2);
        }
        transcript_.write(Record("answer")
                              .number("n", n)
                              .text("button", AnswerName(answer))
                              .flag("scripted", scripted)
                              .flag("available", available)
                              .flag("closed", closed));
    }

    bool waitUntilGone(HWND window, ULONGLONG ms) {
        const ULONGLONG until = GetTickCount64() + ms;
        while (IsWindow(window) && IsWindowVisible(window)) {
            if (GetTickCount64() > until) return false;
            Sleep(kPollMs);
        }
        return true;
    }

    void startHolds(int atBox) {
        for (const Hold& hold : options_.holds) {
            if (hold.atBox != atBox) continue;
            StartedProcess holder = Launch(
                options_.standin, (hold.asLibrary ? L"--load \"" : L"--hold \"") + hold.path +
                                      L"\" --seconds " + std::to_wstring(hold.seconds));
            const ULONGLONG until = GetTickCount64() + kHoldReadyMs;
            bool held = false;
            const auto holding = hold.asLibrary ? LoadedByOther : HeldByOther;
            while (!(held = holding(hold.path)) && Running(holder.process) &&
                   GetTickCount64() < until)
                Sleep(20);
            transcript_.write(Record("hold")
                                  .text("path", hold.path)
                                  .number("seconds", hold.seconds)
                                  .number("atBox", atBox)
                                  .flag("ok", held));
            holders_.push_back(std::move(holder));
        }
    }

    void endHolds() {
        for (StartedProcess& holder : holders_) {
            if (Running(holder.process)) {
                TerminateProcess(holder.process.get(), 0);
                WaitForSingleObject(holder.process.get(), 5000);
                transcript_.write(Record("hold-ended").number("pid", holder.id));
            }
        }
        holders_.clear();
    }

    std::wstring shotPath(const std::wstring& name) const {
        return options_.shotsDir + L"\\" + name;
    }

    Options options_;
    Transcript transcript_;
    StartedProcess updater_;
    std::vector<StartedProcess> holders_;
    std::optional<StatusView> status_;
    int statusWindows_ = 0;
    std::set<HWND> otherWindows_;
    int boxes_ = 0;
    std::size_t nextAnswer_ = 0;
    std::vector<int> pendingProgressShots_;
    ResponsivenessWatch watch_;
    int unresponsive_ = 0;
    int busy_ = 0;
};

} // namespace
} // namespace orv::e2e

int wmain(int argc, wchar_t** argv) {
    using namespace orv::e2e;
    SetProcessDPIAware();
    try {
        const std::vector<std::wstring> args(argv + 1, argv + argc);
        Driver driver(ParseOptions(args));
        return driver.run();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "orvdriver: %s\n%s", e.what(), UsageText());
        return 64;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvdriver: %s\n", e.what());
        return 3;
    }
}
