// Probing files, reading the INI file and asking for the Windows directory.

#include <gtest/gtest.h>

#include <functional>

#include "env/environment.h"
#include "platform/runtime_error.h"
#include "support/installation.h"

namespace orv {
namespace {

using testing::Box;
using testing::Installation;

const std::string kOpenNote = "Sie haben die Anwendung 'Korvelin - ORVEN' geöffnet.\r\n"
                              "Bitte beenden Sie das Programm und starten\r\n"
                              "'Testversion aktualisieren' noch einmal.";

TEST(ProbeFile, AnswersWhetherAFileCanBeOpened) {
    Installation inst;
    inst.box.writeFile("ORVEN32/daten.txt", "Inhalt");
    EXPECT_TRUE(ProbeFile(inst.os, "C:\\ORVEN32\\daten.txt"));
    EXPECT_TRUE(ProbeFile(inst.os, "C:\\orven32\\DATEN.TXT")); // without regard to case
    EXPECT_FALSE(ProbeFile(inst.os, "C:\\ORVEN32\\fehlt.txt"));
    EXPECT_FALSE(ProbeFile(inst.os, "C:\\FEHLT\\fehlt.txt"));
    EXPECT_TRUE(inst.os.boxes.empty());
    EXPECT_EQ(inst.box.readFile("ORVEN32/daten.txt"), "Inhalt");
}

TEST(ProbeFile, TellsOncePerProbeThatTheApplicationHoldsTheFile) {
    Installation inst;
    inst.os.faulty.hold("C:\\ORVEN32\\orv\\orven32.exe");
    EXPECT_FALSE(ProbeFile(inst.os, "C:\\ORVEN32\\orv\\orven32.exe"));
    EXPECT_FALSE(ProbeFile(inst.os, "C:\\ORVEN32\\orv\\orven32.exe"));
    ASSERT_EQ(inst.os.boxes.size(), 2u);
    for (const Box& box : inst.os.boxes) {
        EXPECT_EQ(box.text, kOpenNote);
        EXPECT_EQ(box.title, "ORVEN geöffnet");
        EXPECT_EQ(box.style, 16);
    }
}

TEST(ProbeFile, OtherFailuresAreSilent) {
    const std::function<void(testing::FaultyFileSystem&)> kFailures[] = {
        [](testing::FaultyFileSystem& files) {
            files.failAt(testing::FileOp::Probe, 1, err::kDiskFull);
        },
        // A file the user may not read is no file that the application holds.
        [](testing::FaultyFileSystem& files) { files.deny("C:\\ORVEN32\\orv\\orven32.exe"); },
        // Error 70 alone says nothing about who keeps the file: no note without a violation.
        [](testing::FaultyFileSystem& files) {
            files.failAt(testing::FileOp::Probe, 1, err::kPermissionDenied);
        },
    };
    for (const auto& fail : kFailures) {
        Installation inst;
        fail(inst.os.faulty);
        EXPECT_FALSE(ProbeFile(inst.os, "C:\\ORVEN32\\orv\\orven32.exe"));
        EXPECT_TRUE(inst.os.boxes.empty());
    }
}

struct IniCase {
    const char* name;
    const char* ini; // nullptr: no INI file
    const char* key;
    const char* defaultValue;
    std::string expected;
};

TEST(ReadIniValue, GivesTheValueOrTheDefault) {
    const std::string longValue(300, 'x');
    const IniCase kCases[] = {
        {"present", "[ORVEN]\r\nPfad1=D:\\DATEN\r\n", "Pfad1", "", "D:\\DATEN"},
        {"section and key without regard to case", "[orven]\r\nPFAD1=D:\\X\r\n", "Pfad1", "",
         "D:\\X"},
        {"missing key", "[ORVEN]\r\nPfad2=D:\\X\r\n", "Pfad1", "vorgabe", "vorgabe"},
        {"empty value like a missing one", "[ORVEN]\r\nPfad1=\r\n", "Pfad1", "vorgabe", "vorgabe"},
        {"missing section", "[ANDERS]\r\nPfad1=D:\\X\r\n", "Pfad1", "", ""},
        {"no INI file", nullptr, "Pfad1", "vorgabe", "vorgabe"},
        {"empty key never reads", "[ORVEN]\r\n=D:\\X\r\n", "", "vorgabe", "vorgabe"},
        {"cut to 254 characters", nullptr, "Pfad1", "", std::string(254, 'x')},
    };
    for (const IniCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        std::string ini = c.ini ? c.ini : "";
        if (c.expected.size() == 254) ini = "[ORVEN]\r\nPfad1=" + longValue + "\r\n";
        if (!ini.empty()) inst.box.writeFile("ORVEN32/orv/test.ini", ini);
        EXPECT_EQ(
            ReadIniValue(inst.os, "C:\\ORVEN32\\orv\\test.ini", "ORVEN", c.key, c.defaultValue),
            c.expected);
        EXPECT_TRUE(inst.os.boxes.empty());
        if (std::string(c.key).empty()) {
            EXPECT_EQ(inst.os.iniReads, 0u);
        }
    }
}

TEST(ReadIniValue, ReportsAFailureAndGivesTheDefault) {
    Installation inst;
    inst.os.failIniRead = true;
    EXPECT_EQ(ReadIniValue(inst.os, "C:\\ORVEN32\\orv\\ORVEN32.INI", "ORVEN", "Pfad1", "vorgabe"),
              "vorgabe");
    ASSERT_EQ(inst.os.boxes.size(), 1u);
    EXPECT_EQ(inst.os.boxes[0].text, "Fehler beim Lesen der Datei C:\\ORVEN32\\orv\\ORVEN32.INI, "
                                     "Fehler = Die Funktion ist nicht erreichbar");
    EXPECT_EQ(inst.os.boxes[0].title, "ORVEN-Update");
    EXPECT_EQ(inst.os.boxes[0].style, 0);
}

TEST(GetWindowsDir, GivesTheDirectoryAsTheSystemReportsIt) {
    Installation inst;
    inst.os.windowsDir = "C:\\WINNT";
    EXPECT_EQ(GetWindowsDir(inst.os), "C:\\WINNT");
    inst.os.failWindowsDirectory = true;
    EXPECT_EQ(GetWindowsDir(inst.os), "");
    ASSERT_EQ(inst.os.boxes.size(), 1u);
    EXPECT_EQ(inst.os.boxes[0].text, "Pfad nicht gefunden");
    EXPECT_EQ(inst.os.boxes[0].style, 0);
}

} // namespace
} // namespace orv
