#pragma once
// The driver's command line.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::e2e {

enum class Answer { Yes, No, Ok };

// A file that the stand-in application holds open, from the start or from a message box on.
struct Hold {
    int atBox = 0; // 0: before the updater starts
    int seconds = 0;
    std::wstring path;
    bool asLibrary = false; // loaded as a running program loads a library, not opened
};

struct Options {
    std::wstring exe;
    std::optional<std::wstring> args; // none: the updater is started with no arguments
    std::vector<Answer> answers;
    std::optional<Answer> defaultAnswer;
    std::wstring transcript;
    std::wstring shotsDir; // empty: no screenshots
    std::vector<int> shotAtProgress;
    int barShotsAtBox = 0;
    std::wstring standin;
    std::vector<Hold> holds;
    int timeoutSeconds = 60;
    // Answers the boxes and reads nothing else: the status window is neither read nor sent a
    // message, so that a timed run costs the program nothing but the boxes.
    bool boxesOnly = false;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options ParseOptions(const std::vector<std::wstring>& args);
const char* UsageText();
const wchar_t* AnswerName(Answer answer);

} // namespace orv::e2e
