#include "posix/terminal.h"

#include <unistd.h>

namespace orv::posix {
namespace {

// Windows message-box flags beyond the styles the updater names.
constexpr int kButtonMask = 0x0F;
constexpr int kYesNo = 4;
constexpr int kIconMask = 0xF0;
constexpr int kDefaultButtonMask = 0x300;
constexpr int kSecondButtonDefault = 0x100;

std::string IconMark(int style) {
    switch (style & kIconMask) {
    case 16:
        return "(X) ";
    case 32:
        return "(?) ";
    case 48:
        return "(!) ";
    case 64:
        return "(i) ";
    default:
        return "";
    }
}

char FirstNonBlank(const std::string& line) {
    for (const char c : line) {
        if (c != ' ' && c != '\t') return c;
    }
    return '\0';
}

} // namespace

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

std::string TerminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

Console::Console(std::ostream& out, bool outputIsTerminal)
    : out_(out), outputIsTerminal_(outputIsTerminal) {}

void Console::printLine(const std::string& text) {
    endStatus();
    out_ << text << '\n' << std::flush;
}

void Console::prompt(const std::string& text) {
    endStatus();
    out_ << text << std::flush;
}

void Console::showStatus(const std::string& text) {
    if (outputIsTerminal_) {
        // Clear to the end of the line: the new text may be shorter than the old.
        out_ << '\r' << text << "\x1b[K" << std::flush;
        statusOpen_ = true;
    } else {
        out_ << text << '\n' << std::flush;
    }
}

void Console::endStatus() {
    if (!statusOpen_) return;
    statusOpen_ = false;
    out_ << '\n';
}

TerminalDialogs::TerminalDialogs(Console& console, std::istream& in, bool inputIsTerminal)
    : console_(console), in_(in), inputIsTerminal_(inputIsTerminal) {}

std::string TerminalDialogs::readAnswer() {
    std::string line;
    if (!std::getline(in_, line)) {
        // The end of the input answers every box from here on with its default button.
        console_.printLine("");
        return {};
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!inputIsTerminal_) console_.printLine(line);
    return line;
}

Answer TerminalDialogs::messageBox(const std::string& text, const std::string& title, int style) {
    console_.printLine("");
    console_.printLine("=== " + IconMark(style) + title + " ===");
    console_.printLine(TerminalText(text));

    if ((style & kButtonMask) != kYesNo) {
        console_.prompt("[OK] ");
        readAnswer();
        return Answer::Ok;
    }

    const bool noIsDefault = (style & kDefaultButtonMask) == kSecondButtonDefault;
    const Answer defaultAnswer = noIsDefault ? Answer::No : Answer::Yes;
    console_.prompt(noIsDefault ? "[J]a / [N]ein (Vorgabe: Nein) " : "[J]a / [N]ein ");
    for (;;) {
        const std::string line = readAnswer();
        switch (FirstNonBlank(line)) {
        case 'J':
        case 'j':
        case 'Y':
        case 'y':
            return Answer::Yes;
        case 'N':
        case 'n':
            return Answer::No;
        case '\0':
            return defaultAnswer;
        default:
            break;
        }
        console_.prompt("Bitte J (Ja) oder N (Nein) eingeben: ");
    }
}

} // namespace orv::posix
