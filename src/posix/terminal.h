#pragma once
// The terminal as the Linux front end's screen: message boxes as text with answers read line
// by line, and one status line that the status window draws into.

#include <istream>
#include <ostream>
#include <string>

#include "platform/platform.h"

namespace orv::posix {

// Whether the file descriptor is a terminal.
bool IsTerminal(int fd);

// The output side of the terminal, shared by the message boxes and the status window. On a
// terminal the status line is redrawn in place (carriage return) until another line follows.
class Console {
  public:
    Console(std::ostream& out, bool outputIsTerminal);

    bool outputIsTerminal() const { return outputIsTerminal_; }
    // Writes whole lines: ends an open status line first, then the text and a line break.
    void printLine(const std::string& text);
    // Writes text without a line break (a question waiting for its answer).
    void prompt(const std::string& text);
    // Shows the status line: redrawn in place on a terminal, otherwise a line of its own.
    void showStatus(const std::string& text);
    // Ends an open status line so that what follows starts on a line of its own.
    void endStatus();

  private:
    std::ostream& out_;
    bool outputIsTerminal_;
    bool statusOpen_ = false;
};

// Message boxes in the terminal: the title, the text (CRLF shown as a line break), then the
// buttons. Answers are read line by line: J/j/Y/y answer Yes, N/n No, an empty line or the
// end of input the default button; OK boxes wait for Enter. When the input is no terminal
// the answers read are echoed so that the output reads like a dialogue.
class TerminalDialogs {
  public:
    TerminalDialogs(Console& console, std::istream& in, bool inputIsTerminal);

    Answer messageBox(const std::string& text, const std::string& title, int style);

  private:
    // The next answer line; empty at the end of the input.
    std::string readAnswer();

    Console& console_;
    std::istream& in_;
    bool inputIsTerminal_;
};

// CR LF, and a CR alone, become the terminal's line break.
std::string TerminalText(const std::string& text);

} // namespace orv::posix
