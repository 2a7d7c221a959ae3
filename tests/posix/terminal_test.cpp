#include "posix/terminal.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace orv::posix {
namespace {

struct AnswerCase {
    const char* name;
    int style;
    const char* input;
    Answer expected;
};

const AnswerCase kAnswerCases[] = {
    {"J", 52, "J\n", Answer::Yes},
    {"j", 52, "j\n", Answer::Yes},
    {"y", 52, "y\n", Answer::Yes},
    {"Y word", 52, "Yes\n", Answer::Yes},
    {"ja with CR", 52, "ja\r\n", Answer::Yes},
    {"N", 52, "N\n", Answer::No},
    {"nein after blanks", 52, "   nein\n", Answer::No},
    {"empty line is the default", 52, "\n", Answer::Yes},
    {"blanks only are the default", 52, "  \t\n", Answer::Yes},
    {"end of input is the default", 52, "", Answer::Yes},
    {"last line without line break", 52, "n", Answer::No},
    {"asked again after nonsense", 52, "x\n?\nn\n", Answer::No},
    {"nonsense then end of input", 52, "vielleicht\n", Answer::Yes},
    {"No as the default button", 52 | 256, "\n", Answer::No},
    {"No as the default at the end", 52 | 256, "", Answer::No},
    {"Yes when No is the default", 52 | 256, "j\n", Answer::Yes},
    {"critical box", 16, "\n", Answer::Ok},
    {"information box at the end", 64, "", Answer::Ok},
    {"plain box takes any line", 0, "n\n", Answer::Ok},
};

TEST(TerminalDialogs, ReadsAnswersFromAPipe) {
    for (const AnswerCase& c : kAnswerCases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        Console console(out, false);
        TerminalDialogs dialogs(console, in, false);
        EXPECT_EQ(dialogs.messageBox("Text", "Titel", c.style), c.expected) << c.name;
    }
}

TEST(TerminalDialogs, EachBoxTakesItsOwnLineAndTheEndAnswersAllThatFollow) {
    std::istringstream in("n\n\nj\n");
    std::ostringstream out;
    Console console(out, false);
    TerminalDialogs dialogs(console, in, false);
    EXPECT_EQ(dialogs.messageBox("Frage?", "ORVEN-Update", 52), Answer::No);
    EXPECT_EQ(dialogs.messageBox("Hinweis", "ORVEN-Update", 64), Answer::Ok);
    EXPECT_EQ(dialogs.messageBox("Frage?", "ORVEN-Update", 52), Answer::Yes);
    EXPECT_EQ(dialogs.messageBox("Frage?", "ORVEN-Update", 52 | 256), Answer::No);
    EXPECT_EQ(dialogs.messageBox("Frage?", "ORVEN-Update", 52), Answer::Yes);
}

TEST(TerminalDialogs, ShowsTitleTextAndButtonsAndEchoesPipedAnswers) {
    std::istringstream in("\nn\n");
    std::ostringstream out;
    Console console(out, false);
    TerminalDialogs dialogs(console, in, false);
    dialogs.messageBox("Zeile 1\r\n\r\nZeile 3: äöü", "Fehler beim Update", 16);
    dialogs.messageBox("Installieren?", "ORVEN-Update", 52);
    EXPECT_EQ(out.str(), "\n=== (X) Fehler beim Update ===\nZeile 1\n\nZeile 3: äöü\n[OK] \n"
                         "\n=== (!) ORVEN-Update ===\nInstallieren?\n[J]a / [N]ein n\n");
}

TEST(TerminalDialogs, TerminalInputIsNotEchoed) {
    std::istringstream in("j\n");
    std::ostringstream out;
    Console console(out, true);
    TerminalDialogs dialogs(console, in, true);
    dialogs.messageBox("Installieren?", "Titel", 0x40 | 0x04);
    EXPECT_EQ(out.str(), "\n=== (i) Titel ===\nInstallieren?\n[J]a / [N]ein ");
}

TEST(TerminalText, LineBreaks) {
    EXPECT_EQ(TerminalText("a\r\nb"), "a\nb");
    EXPECT_EQ(TerminalText("a\rb\nc\r"), "a\nb\nc\n");
    EXPECT_EQ(TerminalText("\r\n\r\n"), "\n\n");
}

TEST(Console, StatusLineIsEndedBeforeTheNextLine) {
    std::ostringstream out;
    Console console(out, true);
    console.showStatus("  [#.]  50 %");
    console.showStatus("  [##] 100 %");
    console.printLine("fertig");
    console.endStatus();
    EXPECT_EQ(out.str(), "\r  [#.]  50 %\x1b[K\r  [##] 100 %\x1b[K\nfertig\n");
}

} // namespace
} // namespace orv::posix
