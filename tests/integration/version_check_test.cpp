// The version check: what the user is told about the update's version, and what No does.

#include <gtest/gtest.h>

#include "support/installation.h"

namespace orv {
namespace {

using testing::Installation;
using testing::ZipEntry;

const std::string kAnyway = "Wollen Sie das Update trotzdem ausführen ?";
const std::string kNotInArchive =
    "Die Datei orvupd.txt ist nicht im Archiv vorhanden oder konnte nicht gelesen werden";
const std::string kUnknownInstalled =
    "Die aktuelle ORVEN-Version kann nicht ermittelt werden.\r\nSie können die Versionen nur "
    "vergleichen, wenn Sie das Update aus ORVEN starten.\r\n\r\n";
const std::string kWillInstall =
    "Version  3.1 vom 15.03.2019 wird installiert.\r\n\r\nWollen Sie das Update jetzt ausführen ?";
// The question after a comparison that finds the update older; installed as the label shows it.
std::string Older(const std::string& installed) {
    return "Das Versionsdatum der zu installierenden Version ist\r\nälter als das Datum der "
           "installierten Version.\r\n\r\nInstallierte Version: " +
           installed + "\r\n\r\nUpdate-Version:        3.1 vom 15.03.2019\r\n\r\n" + kAnyway;
}
const std::string kCancelNote = "ORV-Update wurde abgebrochen!\r\n\r\nORVEN wird wieder gestartet!";

const std::vector<ZipEntry> kWithVersion{{"orvupd.txt", "15.03.2019 3.1\r\nzweite Zeile\r\n"},
                                         {"liesmich.txt", "neu"}};
const std::vector<ZipEntry> kWithoutVersion{{"liesmich.txt", "neu"}};

struct VersionCase {
    const char* name;
    const char* commandLine;
    std::vector<ZipEntry> archive;
    bool staleVersionFile; // an orvupd.txt left in the application directory
    std::string question;
};

TEST(VersionCheck, TellsTheUserWhatWillBeInstalled) {
    const VersionCase kCases[] = {
        {"newer, the label keeps its leading blank", "01.02.2019 3.0", kWithVersion, false,
         kWillInstall},
        {"same date", "15.03.2019 3.1", kWithVersion, false,
         "Das Versionsdatum ist identisch mit der installierten Version.\r\n\r\n" + kAnyway},
        {"older", "20.04.2019 3.2", kWithVersion, false, Older(" 3.2 vom 20.04.2019")},
        {"a later year wins over a later day", "31.12.2018 3.0", kWithVersion, false, kWillInstall},
        {"any command line counts as a version line", "x", kWithVersion, false, Older(" vom x")},
        {"version file missing from the archive", "01.02.2019 3.0", kWithoutVersion, false,
         kNotInArchive + "\r\n\r\n" + kAnyway},
        {"a version file left by an earlier run is not read", "01.02.2019 3.0", kWithoutVersion,
         true, kNotInArchive + "\r\n\r\n" + kAnyway},
        {"by hand", "", kWithVersion, false,
         "Version  3.1 vom 15.03.2019 wird installiert.\r\n\r\n" + kUnknownInstalled + kAnyway},
        {"by hand, version file missing", "", kWithoutVersion, false, kUnknownInstalled + kAnyway},
        {"by hand, a version file left by an earlier run", "", kWithoutVersion, true,
         kUnknownInstalled + kAnyway},
    };
    for (const VersionCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(c.archive);
        if (c.staleVersionFile) inst.box.writeFile("ORVEN32/orv/orvupd.txt", "01.01.2030 9.9\r\n");
        inst.os.commandLineText = c.commandLine;
        inst.os.answers = {Answer::No};
        inst.run();
        ASSERT_GE(inst.os.boxes.size(), 1u);
        EXPECT_EQ(inst.os.boxes[0].text, c.question);
        EXPECT_EQ(inst.os.boxes[0].title, "ORVEN-Update 3.0.0");
        EXPECT_EQ(inst.os.boxes[0].style, 52);
    }
}

TEST(VersionCheck, NoEndsTheRunWithANoteOnlyAfterAComparison) {
    struct NoCase {
        const char* name;
        const char* commandLine;
        std::vector<ZipEntry> archive;
        bool cancelNote;
        bool boxesFail = false; // no box can be shown: the question is not a yes
    };
    const NoCase kCases[] = {
        {"after a comparison", "01.02.2019 3.0", kWithVersion, true},
        {"version file missing", "01.02.2019 3.0", kWithoutVersion, false},
        {"by hand", "", kWithVersion, false},
        {"after a comparison, no box shown", "01.02.2019 3.0", kWithVersion, true, true},
        {"by hand, no box shown", "", kWithVersion, false, true},
    };
    for (const NoCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(c.archive);
        const std::string delivered = inst.archiveBytes();
        inst.os.commandLineText = c.commandLine;
        inst.os.answers = {Answer::No};
        inst.os.failBoxes = c.boxesFail;
        inst.run();
        ASSERT_EQ(inst.os.boxes.size(), c.cancelNote ? 2u : 1u);
        if (c.cancelNote) {
            EXPECT_EQ(inst.os.boxes[1].text, kCancelNote);
            EXPECT_EQ(inst.os.boxes[1].title, "ORV-Update abbrechen");
            EXPECT_EQ(inst.os.boxes[1].style, 64);
        }
        EXPECT_FALSE(inst.box.exists("ORVEN32/liesmich.txt")); // nothing installed
        EXPECT_EQ(inst.archiveBytes(), delivered);
        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.os.launcher.launches.size(), std::string(c.commandLine).empty() ? 0u : 1u);
    }
}

TEST(VersionCheck, LeavesTheVersionFileInTheApplicationDirectory) {
    Installation inst;
    inst.writeArchive(kWithVersion);
    inst.os.answers = {Answer::No};
    inst.run();
    EXPECT_EQ(inst.box.readFile("ORVEN32/orv/orvupd.txt"), "15.03.2019 3.1\r\nzweite Zeile\r\n");
}

TEST(VersionCheck, AnEmptyVersionFileIsReportedAsAnError) {
    Installation inst;
    inst.writeArchive({{"orvupd.txt", ""}, {"liesmich.txt", "neu"}});
    inst.run();
    ASSERT_EQ(inst.os.boxes.size(), 1u);
    EXPECT_EQ(inst.os.boxes[0].text, "Fehler beim Installieren des ORVEN-Updates\r\n\r\n"
                                     "Fehlercode = 62\r\nFehler =     Eingabe hinter Dateiende");
    EXPECT_FALSE(inst.box.exists("ORVEN32/liesmich.txt"));
    EXPECT_FALSE(inst.backupExists());
    EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
}

} // namespace
} // namespace orv
