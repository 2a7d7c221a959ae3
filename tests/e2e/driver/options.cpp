#include "options.h"

#include <cwctype>

#include "transcript.h"

namespace orv::e2e {
namespace {

class ArgReader {
  public:
    explicit ArgReader(const std::vector<std::wstring>& args) : args_(args) {}
    bool done() const { return next_ >= args_.size(); }
    std::wstring take(const std::wstring& option) {
        if (done()) throw UsageError("missing value after " + Utf8(option));
        return args_[next_++];
    }
    int takeNumber(const std::wstring& option) {
        const std::wstring text = take(option);
        std::size_t used = 0;
        int value = 0;
        try {
            value = std::stoi(text, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != text.size() || value < 0)
            throw UsageError("not a number after " + Utf8(option) + ": " + Utf8(text));
        return value;
    }

  private:
    const std::vector<std::wstring>& args_;
    std::size_t next_ = 0;
};

std::vector<std::wstring> SplitList(const std::wstring& list) {
    std::vector<std::wstring> items;
    std::wstring item;
    for (const wchar_t c : list) {
        if (c == L',') {
            items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty() || !items.empty()) items.push_back(item);
    return items;
}

Answer ParseAnswer(const std::wstring& text) {
    std::wstring lower;
    for (const wchar_t c : text)
        lower += static_cast<wchar_t>(std::towlower(c));
    if (lower == L"yes") return Answer::Yes;
    if (lower == L"no") return Answer::No;
    if (lower == L"ok") return Answer::Ok;
    throw UsageError("unknown answer " + Utf8(text) + " (Yes, No or OK)");
}

} // namespace

const wchar_t* AnswerName(Answer answer) {
    switch (answer) {
    case Answer::Yes:
        return L"Yes";
    case Answer::No:
        return L"No";
    case Answer::Ok:
        return L"OK";
    }
    return L"?";
}

const char* UsageText() {
    return "orvdriver --exe PATH [--args TEXT] --transcript FILE [--answers Yes,No,OK]\n"
           "          [--default-answer Yes|No|OK] [--shots DIR] [--shot-at-progress 1,50,100]\n"
           "          [--bar-shots-at-box N] [--standin PATH] [--hold SECONDS PATH]...\n"
           "          [--load SECONDS PATH]...\n"
           "          [--hold-at-box N SECONDS PATH]... [--timeout SECONDS] [--boxes-only]\n";
}

Options ParseOptions(const std::vector<std::wstring>& args) {
    Options options;
    ArgReader reader(args);
    while (!reader.done()) {
        const std::wstring option = reader.take(L"");
        if (option == L"--exe") {
            options.exe = reader.take(option);
        } else if (option == L"--args") {
            options.args = reader.take(option);
        } else if (option == L"--answers") {
            for (const std::wstring& a : SplitList(reader.take(option)))
                options.answers.push_back(ParseAnswer(a));
        } else if (option == L"--default-answer") {
            options.defaultAnswer = ParseAnswer(reader.take(option));
        } else if (option == L"--transcript") {
            options.transcript = reader.take(option);
        } else if (option == L"--shots") {
            options.shotsDir = reader.take(option);
        } else if (option == L"--shot-at-progress") {
            for (const std::wstring& p : SplitList(reader.take(option)))
                options.shotAtProgress.push_back(std::stoi(p));
        } else if (option == L"--bar-shots-at-box") {
            options.barShotsAtBox = reader.takeNumber(option);
        } else if (option == L"--standin") {
            options.standin = reader.take(option);
        } else if (option == L"--hold") {
            Hold hold;
            hold.seconds = reader.takeNumber(option);
            hold.path = reader.take(option);
            options.holds.push_back(hold);
        } else if (option == L"--load") {
            Hold hold;
            hold.seconds = reader.takeNumber(option);
            hold.path = reader.take(option);
            hold.asLibrary = true;
            options.holds.push_back(hold);
        } else if (option == L"--hold-at-box") {
            Hold hold;
            hold.atBox = reader.takeNumber(option);
            hold.seconds = reader.takeNumber(option);
            hold.path = reader.take(option);
            options.holds.push_back(hold);
        } else if (option == L"--timeout") {
            options.timeoutSeconds = reader.takeNumber(option);
        } else if (option == L"--boxes-only") {
            options.boxesOnly = true;
        } else {
            throw UsageError("unknown option " + Utf8(option));
        }
    }
    if (options.exe.empty()) throw UsageError("--exe is missing");
    if (options.transcript.empty()) throw UsageError("--transcript is missing");
    if (!options.holds.empty() && options.standin.empty())
        throw UsageError("--hold needs --standin");
    return options;
}

} // namespace orv::e2e
