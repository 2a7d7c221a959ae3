#include "posix/terminal_views.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/sandbox.h"
#include "ui/progress_channel.h"
#include "ui/start_window.h"

namespace orv::posix {
namespace {

std::string Bar(int cells) {
    return "  [" + std::string(static_cast<std::size_t>(cells), '#') +
           std::string(static_cast<std::size_t>(kBarCells - cells), '.') + "]";
}

TEST(TextSurface, ShowsTheBarThatTheChannelDraws) {
    struct Case {
        const char* channel;
        std::string line;
        unsigned long textColor;
    };
    const Case cases[] = {
        {"0", Bar(0), 0},
        {"-3", Bar(0), 0},
        {"1", Bar(0) + "   1 %", 0x000000},   // bar 41 of 4116, the text black
        {"50", Bar(20) + "  50 %", 0xFFFFFF}, // the bar reaches the text: white
        {"100", Bar(40) + " 100 %", 0xFFFFFF},
        {"150", Bar(40) + " 100 %", 0xFFFFFF},
        {"12.5", Bar(5) + "  12 %", 0x000000},
    };
    for (const Case& c : cases) {
        TextSurface surface;
        ui::ReactToStatusText(c.channel, surface);
        EXPECT_EQ(BarLine(surface), c.line) << c.channel;
        if (!surface.text().empty()) {
            EXPECT_EQ(surface.textColor(), c.textColor) << c.channel;
        }
    }
}

TEST(TextSurface, ClearsToNothing) {
    TextSurface surface;
    ui::ReactToStatusText("70", surface);
    surface.Cls();
    EXPECT_EQ(BarLine(surface), Bar(0));
    EXPECT_EQ(surface.CurrentX(), 0);
}

// The status window as Main drives it, drawn into a string.
class StatusWindow : public ::testing::Test {
  protected:
    explicit StatusWindow(bool terminal = false) : console(out, terminal) {}

    void startProgress(const std::string& caption) {
        window.setLabelVisible(false);
        window.setFrameCaption(caption);
        window.setFrameVisible(true);
        window.refreshFrame();
    }

    std::ostringstream out;
    Console console;
    TerminalStartView view{console};
    ui::StartWindow window{view, ProgramVersion{3, 0, 0}};
};

TEST_F(StatusWindow, PrintsTheTitleOnceAndEachNewCaption) {
    window.show();
    window.refresh();
    window.setFrameVisible(false);
    window.refreshFrame();
    window.setLabelCaption("Updateprogramm wird gestartet, bitte warten ...");
    window.refreshLabel();
    window.refresh();
    window.refreshLabel();
    EXPECT_EQ(out.str(), "\n== ORVEN-Update 3.0.0 ==\nLabel1\n"
                         "Updateprogramm wird gestartet, bitte warten ...\n");
}

TEST_F(StatusWindow, PipedProgressPrintsEveryTenthAndTheEnd) {
    window.show();
    startProgress("Datenbanken werden kopiert");
    for (int percent = 0; percent <= 100; percent += 5) {
        window.statusTarget().setText(std::to_string(percent));
    }
    window.statusTarget().setText("100");
    std::string expected = "\n== ORVEN-Update 3.0.0 ==\nDatenbanken werden kopiert\n";
    for (int tenth = 1; tenth <= 10; ++tenth) {
        std::ostringstream percent;
        percent.width(3);
        percent << tenth * 10;
        expected += Bar(tenth * 4) + " " + percent.str() + " %\n";
    }
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(view.statusText(), "100");
}

TEST_F(StatusWindow, BarBehindAHiddenFrameIsNotShown) {
    window.show();
    window.setFrameVisible(false);
    window.statusTarget().setText("40");
    EXPECT_EQ(out.str(), "\n== ORVEN-Update 3.0.0 ==\n");
    // It is still drawn: showing the frame shows the picture.
    EXPECT_EQ(BarLine(static_cast<TextSurface&>(view.progressSurface())), Bar(16) + "  40 %");
}

TEST_F(StatusWindow, LoadedAfreshAfterAnUnload) {
    window.show();
    startProgress("Dateien werden kopiert");
    window.statusTarget().setText("60");
    window.unload();
    EXPECT_FALSE(view.loaded());
    window.show();
    window.refresh();
    EXPECT_EQ(BarLine(static_cast<TextSurface&>(view.progressSurface())), Bar(0));
    EXPECT_EQ(out.str(), "\n== ORVEN-Update 3.0.0 ==\nDateien werden kopiert\n" + Bar(24) +
                             "  60 %\n\n== ORVEN-Update 3.0.0 ==\nLabel1\n");
}

class TerminalStatusWindow : public StatusWindow {
  protected:
    TerminalStatusWindow() : StatusWindow(true) {}
};

TEST_F(TerminalStatusWindow, RedrawsTheBarInPlace) {
    window.show();
    startProgress("Dateien");
    window.statusTarget().setText("1");
    window.statusTarget().setText("1");
    window.statusTarget().setText("50");
    window.unload();
    EXPECT_EQ(out.str(), "\n== ORVEN-Update 3.0.0 ==\nDateien\n\r" + Bar(0) + "   1 %\x1b[K\r" +
                             Bar(20) + "  50 %\x1b[K\n");
}

void WriteScript(const testing::Sandbox& box, const std::string& relative,
                 const std::string& contents, mode_t mode) {
    box.writeFile(relative, contents);
    ASSERT_EQ(::chmod(box.path(relative).c_str(), mode), 0);
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(Launcher, StartsTheProgramDetachedWithoutArguments) {
    const testing::Sandbox box;
    // The script reports its arguments, its session and where its standard input comes from.
    WriteScript(box, "ORVEN32/orv/orven32.exe",
                "#!/bin/sh\n"
                "read -r pid comm state ppid pgrp session rest < /proc/$$/stat\n"
                "echo \"$# $(readlink /proc/$$/fd/0) $([ \"$session\" = \"$$\" ] && echo own)\" "
                "> \"$(dirname \"$0\")/started.tmp\"\n"
                "mv \"$(dirname \"$0\")/started.tmp\" \"$(dirname \"$0\")/started.log\"\n",
                0755);
    PosixFileSystem files{box.root()};
    const StartResult started = StartDetached(files.resolve("\\orven32\\ORV\\ORVEN32.EXE"));
    ASSERT_EQ(started.error, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(started.pid, &status, 0), started.pid);
    ASSERT_TRUE(WaitForFile(box.path("ORVEN32/orv/started.log")));
    EXPECT_EQ(box.readFile("ORVEN32/orv/started.log"), "0 /dev/null own\n");
}

TEST(Launcher, ReportsFailuresAsShellCodes) {
    const testing::Sandbox box;
    WriteScript(box, "orv/text.exe", "#!/bin/sh\n", 0644);
    WriteScript(box, "orv/kaputt.exe", "kein Programm\n", 0755);
    PosixFileSystem files{box.root()};
    TerminalLauncherView launcher{files};
    struct Case {
        const char* file;
        long result;
    };
    const Case cases[] = {
        {"\\orv\\fehlt.exe", 2},
        {"\\fehlt\\orven32.exe", 2},
        {"\\orv\\text.exe\\x", 3},
        {"\\orv\\text.exe", 5},
        {"\\ORV", 5},
        {"\\orv\\kaputt.exe", 11},
    };
    launcher.load();
    for (const Case& c : cases)
        EXPECT_EQ(launcher.shellOpen(c.file), c.result) << c.file;
    launcher.unload();
}

TEST(Launcher, SuccessIsAboveThirtyTwo) {
    const testing::Sandbox box;
    WriteScript(box, "orv/orven32.exe", "#!/bin/sh\nexit 0\n", 0755);
    PosixFileSystem files{box.root()};
    TerminalLauncherView launcher{files};
    const long result = launcher.shellOpen("\\ORV\\orven32.exe");
    EXPECT_GT(result, 32);
    if (result > 33) ::waitpid(static_cast<pid_t>(result), nullptr, 0);
}

} // namespace
} // namespace orv::posix
