// The installation: where each file of the update goes, and the report of what was copied.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <regex>
#include <stdexcept>

#include "platform/runtime_error.h"
#include "support/forwarding_zip.h"
#include "support/installation.h"
#include "update/main.h"

namespace orv {
namespace {

using testing::Installation;
using testing::ZipEntry;

const std::string kReportOne =
    "ORVEN-Update ordnungsgemäß installiert.\r\n\r\nEs wurde 1 Datei kopiert.";

std::string ReportOf(int count) {
    return "ORVEN-Update ordnungsgemäß installiert.\r\n\r\nEs wurden " + std::to_string(count) +
           " Dateien kopiert.";
}

const std::vector<ZipEntry> kFullUpdate{
    {"orvupd.txt", "15.03.2019 3.1\r\n"},
    {"ORVTABS.MDB", "schluesseltabellen"},
    {"MUNDAREL.MDB", "mundarten"},
    {"ORVEN.MDB", "hauptdatenbank"},
    {"ORVVW.MDB", "verwaltung"},
    {"SYSTEM/orvgrid.ocx", "steuerelement"},
    {"SYSTEM/orvcalc.dll", "bibliothek"},
    {"orv/orven32.exe", "ORVEN 3.1"},
    {"orv/hilfe/", ""},
    {"orv/hilfe/orven.chm", "hilfe"},
    {"liesmich.txt", "neu"},
};

TEST(Installation, PutsEveryFileWhereThePlanSays) {
    Installation inst;
    inst.writeArchive(kFullUpdate);
    const std::string delivered = inst.archiveBytes();
    inst.run();

    const std::map<std::string, std::string> expected{
        {"ORVEN32/KEYTABS/ORVTABS.MDB", "schluesseltabellen"},
        {"ORVEN32/KEYTABS/MUNDAREL.MDB", "mundarten"},
        {"DATEN/ORVEN.MDB", "hauptdatenbank"},
        {"DATEN/VW/ORVVW.MDB", "verwaltung"},
        {"SYSTEM/orvgrid.ocx", "steuerelement"},
        {"SYSTEM/orvcalc.dll", "bibliothek"},
        {"ORVEN32/orv/orven32.exe", "ORVEN 3.1"},
        {"ORVEN32/orv/hilfe/orven.chm", "hilfe"},
        {"ORVEN32/liesmich.txt", "neu"},
        {"ORVEN32/orv/orvupd.txt", "15.03.2019 3.1\r\n"},
        {"ORVEN32/orv/orven32.ini",
         "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\VW\r\nPfad3=\r\n"},
        {"ORVEN32/update/orvupd.zip", delivered},
    };
    std::map<std::string, std::string> found;
    for (const auto& [path, contents] : inst.filesButLogs())
        found[path] = contents;
    EXPECT_EQ(found, expected); // databases only in their directories, never in ORVEN32

    ASSERT_EQ(inst.os.boxes.size(), 2u);
    EXPECT_EQ(inst.os.boxes[1].text, ReportOf(10)); // the version file counts when started so
    EXPECT_EQ(inst.os.boxes[1].title, "ORV-Update installieren");
    EXPECT_EQ(inst.os.boxes[1].style, 64);
}

TEST(Installation, ShowsProgressInTheFrameAndComesBackForTheRestart) {
    Installation inst;
    inst.writeArchive(kFullUpdate);
    inst.run();
    const auto& events = inst.os.events;
    const auto at = [&events](const std::string& event) {
        return std::find(events.begin(), events.end(), event) - events.begin();
    };
    const auto frameShown = at("Frame1 show");
    const auto report = at("Box ORV-Update installieren");
    ASSERT_LT(frameShown, static_cast<long>(events.size()));
    EXPECT_LT(frameShown, at("Frame1 caption Update wird ausgeführt, bitte warten ..."));
    EXPECT_LT(at("Label1 hide"), report);
    // Unloaded before the report, shown afresh for the restart, unloaded at the end.
    const std::vector<std::string> tail(events.begin() + report - 1, events.end());
    const std::vector<std::string> expectedTail{
        "Start unload",
        "Box ORV-Update installieren",
        "Start load",
        "Start title ORVEN-Update 3.0.0",
        "Start show",
        "Start refresh",
        "Frame1 hide",
        "Frame1 refresh",
        "Label1 show",
        "Label1 caption ORVEN wird gestartet, bitte warten ...",
        "Label1 refresh",
        "Launcher load",
        "Launcher open C:\\ORVEN32\\orv\\orven32.exe",
        "Launcher unload",
        "Start unload",
    };
    EXPECT_EQ(tail, expectedTail);

    const auto& texts = inst.os.start.statusTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "100");
}

struct ReportCase {
    const char* name;
    const char* commandLine;
    std::vector<ZipEntry> archive;
    std::string report;
    const char* title;
    int style;
};

TEST(Installation, ReportsHowManyFilesItCopied) {
    const ReportCase kCases[] = {
        {"by hand, one file",
         "",
         {{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"liesmich.txt", "neu"}},
         kReportOne,
         "ORV-Update installieren",
         64},
        {"by the application, the version file counts",
         "01.02.2019 3.0",
         {{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"liesmich.txt", "neu"}},
         ReportOf(2),
         "ORV-Update installieren",
         64},
        {"nothing to extract",
         "",
         {{"leer/", ""}},
         "Keine Dateien zum Kopieren vorhanden.",
         "ORVEN-Update installieren",
         16},
        {"a database missing from the archive",
         "",
         {{"ORVEN.MDB", "a"}, {"ORVVW.MDB", "b"}, {"x.txt", "c"}},
         ReportOf(3),
         "ORV-Update installieren",
         64},
    };
    for (const ReportCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(c.archive);
        const std::string delivered = inst.archiveBytes();
        inst.os.commandLineText = c.commandLine;
        inst.run();
        ASSERT_EQ(inst.os.boxes.size(), 2u);
        EXPECT_EQ(inst.os.boxes[1].text, c.report);
        EXPECT_EQ(inst.os.boxes[1].title, c.title);
        EXPECT_EQ(inst.os.boxes[1].style, c.style);
        EXPECT_EQ(inst.archiveBytes(), delivered);
        EXPECT_FALSE(inst.backupExists());
        const bool restart = !std::string(c.commandLine).empty();
        EXPECT_EQ(inst.os.launcher.launches.size(), restart ? 1u : 0u);
        EXPECT_FALSE(inst.os.start.state().loaded);
    }
}

// The real component, but the row of one mask fails as the test says before anything is written.
class RowFailingZip : public testing::ForwardingZip {
  public:
    RowFailingZip(FileSystem& files, std::string mask, std::function<void()> failure)
        : ForwardingZip(files), mask_(std::move(mask)), failure_(std::move(failure)) {}
    std::int32_t UnZipEx(const std::string& archive, const std::string& target,
                         const std::string& mask, std::int32_t overwrite, const char* password,
                         std::int32_t options, ProgressTarget* progress) override {
        if (mask == mask_ && failure_) failure_();
        return ForwardingZip::UnZipEx(archive, target, mask, overwrite, password, options,
                                      progress);
    }

  private:
    std::string mask_;
    std::function<void()> failure_;
};

TEST(Installation, ReportsAFailedRowAndKeepsItsEntriesOutOfTheInstallation) {
    struct FailedRowCase {
        const char* name;
        const char* mask;
        std::function<void()> failure; // none: the row fails on its own
        const char* error;
    };
    const FailedRowCase kCases[] = {
        {"a database folder that cannot be made", "ORVVW.MDB", nullptr,
         "Fehler beim Zugriff auf Pfad/Datei"},
        {"memory runs out inside a row", "ORVEN.MDB", [] { throw std::bad_alloc(); },
         "Nicht genügend Speicher"},
        {"a fault of another kind inside a row", "*.OCX",
         [] { throw std::runtime_error("kaputt"); }, "Interner Fehler"},
    };
    const std::map<std::string, std::string> kStray{{"ORVVW.MDB", "ORVEN32/ORVVW.MDB"},
                                                    {"ORVEN.MDB", "ORVEN32/ORVEN.MDB"},
                                                    {"*.OCX", "ORVEN32/SYSTEM/orvgrid.ocx"}};
    for (const FailedRowCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        // The folder of ORVVW.MDB lies below a file.
        inst.box.writeFile("DATEN/BLOCKIERT", "x");
        inst.box.writeFile("ORVEN32/orv/orven32.ini",
                           std::string("[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\") +
                               (c.failure ? "VW" : "BLOCKIERT\\VW") + "\r\nPfad3=\r\n");
        inst.writeArchive(kFullUpdate);
        const std::string delivered = inst.archiveBytes();
        RowFailingZip zip{inst.os.files(), c.mask, c.failure};
        Main(inst.os, zip);

        ASSERT_EQ(inst.os.boxes.size(), 3u);
        EXPECT_EQ(inst.os.boxes[1].text, std::string("Fehler beim entpacken der Datei(en) ") +
                                             c.mask + "\r\nFehler = " + c.error);
        EXPECT_EQ(
            inst.os.boxes[2].text,
            "ORVEN-Update nicht vollständig installiert.\r\n\r\nEs wurden 9 Dateien kopiert.");
        EXPECT_EQ(inst.os.boxes[2].title, "ORVEN-Update installieren");
        EXPECT_EQ(inst.os.boxes[2].style, 16);
        EXPECT_FALSE(inst.box.exists(kStray.at(c.mask))); // not placed by the last row
        EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), "neu");
        EXPECT_EQ(inst.archiveBytes(), delivered);
        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
    }
}

// Files marked read-only (a database copied from a CD, a file the administrator protected) are
// replaced like any other, and the old copies kept meanwhile do not stay behind; a row that fails
// puts the old file back with its mark.
TEST(Installation, ReplacesReadOnlyFilesAndLeavesNoOldCopies) {
    struct ReadOnlyCase {
        const char* name;
        bool lastRowFails; // the last file of the last row cannot be put in place
        bool leftFromEarlierRun;
    };
    const ReadOnlyCase kCases[] = {
        {"read-only targets", false, false},
        {"read-only targets, and old copies that an earlier run left read-only", false, true},
        {"a read-only target of a row that fails later", true, false},
    };
    const auto isOldCopy = [](const auto& file) {
        return file.first.find(".orvupd-") != std::string::npos;
    };
    // The replacements of a whole run, so that a fault can be placed on the last file's.
    std::size_t replacesOfAWholeRun = 0;
    for (const ReadOnlyCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.box.writeFile("DATEN/ORVEN.MDB", "alte datenbank");
        inst.box.writeFile("ORVEN32/orv/orven32.exe", "ORVEN 3.0");
        inst.box.setMode("DATEN/ORVEN.MDB", 0444);
        inst.box.setMode("ORVEN32/orv/orven32.exe", 0444);
        if (c.leftFromEarlierRun) {
            inst.box.writeFile("DATEN/ORVEN.MDB.orvupd-old-1.tmp", "uralt");
            inst.box.setMode("DATEN/ORVEN.MDB.orvupd-old-1.tmp", 0444);
        }
        inst.writeArchive(kFullUpdate);
        // The last replacement of a run puts the archive back; the one before it places
        // liesmich.txt, the last file of the last row, after orven32.exe.
        if (c.lastRowFails)
            inst.os.faulty.failAt(testing::FileOp::Replace, replacesOfAWholeRun - 1,
                                  err::kDeviceIo);
        inst.run();
        if (!c.lastRowFails) replacesOfAWholeRun = inst.os.faulty.count(testing::FileOp::Replace);

        EXPECT_TRUE(std::ranges::none_of(inst.box.snapshot(), isOldCopy));
        EXPECT_EQ(inst.box.readFile("DATEN/ORVEN.MDB"), "hauptdatenbank");
        EXPECT_FALSE(inst.os.real.readOnly("C:\\DATEN\\ORVEN.MDB"));
        if (c.lastRowFails) {
            ASSERT_EQ(inst.os.boxes.size(), 3u);
            EXPECT_EQ(inst.box.readFile("ORVEN32/orv/orven32.exe"), "ORVEN 3.0");
            EXPECT_TRUE(inst.os.real.readOnly("C:\\ORVEN32\\orv\\orven32.exe"));
            EXPECT_FALSE(inst.box.exists("ORVEN32/liesmich.txt"));
        } else {
            ASSERT_EQ(inst.os.boxes.size(), 2u);
            EXPECT_EQ(inst.os.boxes[1].text, ReportOf(10));
            EXPECT_EQ(inst.box.readFile("ORVEN32/orv/orven32.exe"), "ORVEN 3.1");
        }
    }
}

const std::string kNoSpaceNoteStart = "Auf dem Laufwerk C: ist nicht genügend Speicherplatz frei.";

// Nothing of the update but the version file, read before the question, and the archive as
// delivered, without a backup beside it.
void ExpectNothingInstalled(const Installation& inst,
                            const std::vector<std::pair<std::string, std::string>>& before,
                            const std::string& delivered) {
    auto after = inst.filesButLogs();
    std::erase_if(after, [](const auto& file) { return file.first == "ORVEN32/orv/orvupd.txt"; });
    EXPECT_EQ(after, before);
    EXPECT_EQ(inst.archiveBytes(), delivered);
    EXPECT_FALSE(inst.backupExists());
}

// Each volume must hold what the plan writes there, and a megabyte more, before anything
// changes; otherwise the note names the drive and nothing is installed.
TEST(Installation, ChecksTheSpaceBeforeAnythingChanges) {
    constexpr std::uint64_t kMegabyte = 1024 * 1024;
    std::uint64_t unpacked = 0; // what the plan writes: all but the version file
    for (const ZipEntry& entry : kFullUpdate) {
        if (entry.name != "orvupd.txt") unpacked += entry.contents.size();
    }
    struct SpaceCase {
        const char* name;
        std::uint64_t free;
        std::string note; // empty: the whole update is installed
    };
    const SpaceCase kCases[] = {
        {"room for all and the margin", unpacked + kMegabyte, ""},
        {"a byte short of the margin", unpacked + kMegabyte - 1,
         kNoSpaceNoteStart + "\r\nBenötigt: 2 MB, frei: 1 MB.\r\n\r\nDas Update wurde nicht "
                             "installiert."},
    };
    for (const SpaceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(kFullUpdate);
        const std::string delivered = inst.archiveBytes();
        const auto before = inst.filesButLogs();
        inst.os.onBox = [&inst, &c](std::size_t index) {
            if (index == 0) inst.os.faulty.limitSpace(c.free);
        };
        inst.run();

        ASSERT_EQ(inst.os.boxes.size(), 2u);
        if (c.note.empty()) {
            EXPECT_EQ(inst.os.boxes[1].text, ReportOf(10));
            continue;
        }
        EXPECT_EQ(inst.os.boxes[1].text, c.note);
        EXPECT_EQ(inst.os.boxes[1].title, "Fehler beim Update");
        EXPECT_EQ(inst.os.boxes[1].style, 16);
        ExpectNothingInstalled(inst, before, delivered);
        EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
    }
}

// The same on a real volume too small for a database: a tmpfs of one megabyte as the folder of
// the main database (and of ORVVW.MDB's below it), where the test may mount one.
TEST(Installation, ChecksTheSpaceOfASmallVolume) {
    Installation inst;
    const std::string daten = inst.box.path("DATEN");
    const std::string mount = "mount -t tmpfs -o size=1m tmpfs '" + daten + "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here (mount needs root and the right to mount)";
    }
    std::vector<ZipEntry> update = kFullUpdate;
    update[3].contents = std::string(2 * 1024 * 1024, 'd'); // ORVEN.MDB
    inst.writeArchive(update);
    const std::string delivered = inst.archiveBytes();
    const auto before = inst.filesButLogs();
    inst.run();
    const std::string unmount = "umount '" + daten + "'";
    ASSERT_EQ(std::system(unmount.c_str()), 0);

    ASSERT_EQ(inst.os.boxes.size(), 2u);
    EXPECT_EQ(inst.os.boxes[1].text, kNoSpaceNoteStart +
                                         "\r\nBenötigt: 4 MB, frei: 1 MB.\r\n\r\nDas Update wurde "
                                         "nicht installiert.");
    ExpectNothingInstalled(inst, before, delivered);
}

TEST(Installation, WaitsForAHeldFileAndInstallsNothingWhileItStaysHeld) {
    const std::string kHeldNote = "Sie haben die Anwendung 'Korvelin - ORVEN' geöffnet.\r\n"
                                  "Bitte beenden Sie das Programm und starten\r\n"
                                  "'Testversion aktualisieren' noch einmal.";
    const auto rightsNote = [](const std::string& path) {
        return "Die Datei " + path +
               " kann nicht ersetzt werden:\r\n"
               "Ihnen fehlen die Schreibrechte.\r\n\r\nDas Update wurde nicht installiert.";
    };
    enum class Refusal { Held, Denied };
    struct HeldCase {
        const char* name;
        Refusal refusal;
        const char* path;  // refused from the user's answer on
        int releasedAfter; // milliseconds of waiting; 0: refused for the whole run
        int waited;
        std::string secondBox; // empty: the report of the whole update
        std::string secondTitle;
        std::string logLine = ""; // of a whole update: how long it waited
    };
    const HeldCase kCases[] = {
        {"held while the application closes", Refusal::Held, "C:\\DATEN\\orven.mdb", 4000, 4000, "",
         ""},
        {"held for the whole run", Refusal::Held, "C:\\DATEN\\orven.mdb", 0, 10000, kHeldNote,
         "ORVEN geöffnet"},
        // A virus scanner reads the archive right after the version file left it: waited out
        // in growing pauses (50, 100, 200, 400 ms), and the whole update is installed.
        {"the archive held for a moment", Refusal::Held, "C:\\ORVEN32\\update\\orvupd.zip", 400,
         750, "", "", "Nach 750 ms wieder frei: C:\\ORVEN32\\update\\orvupd.zip"},
        // A file or a folder the user may not change: no wait, and nothing is installed.
        {"a database the user may not replace", Refusal::Denied, "C:\\DATEN\\orven.mdb", 0, 0,
         rightsNote("C:\\DATEN\\ORVEN.MDB"), "Fehler beim Update"},
        {"a folder the user may not write", Refusal::Denied, "C:\\DATEN\\VW", 0, 0,
         rightsNote("C:\\DATEN\\VW\\ORVVW.MDB"), "Fehler beim Update"},
    };
    for (const HeldCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.box.writeFile("DATEN/ORVEN.MDB", "alte datenbank");
        inst.box.makeDirectory("DATEN/VW");
        inst.writeArchive(kFullUpdate);
        const std::string delivered = inst.archiveBytes();
        const auto before = inst.filesButLogs();
        const std::string refused = c.path;
        // Refused from the user's answer on, as by a colleague who has ORVEN open.
        inst.os.onBox = [&inst, &refused, &c](std::size_t index) {
            if (index != 0) return;
            if (c.refusal == Refusal::Held) {
                inst.os.faulty.hold(refused);
            } else {
                inst.os.faulty.deny(refused);
            }
        };
        inst.os.onPause = [&inst, &refused, &c](int waited) {
            if (c.releasedAfter > 0 && waited >= c.releasedAfter) inst.os.faulty.release(refused);
        };
        inst.run();

        EXPECT_EQ(inst.os.pausedMilliseconds, c.waited);
        ASSERT_EQ(inst.os.boxes.size(), 2u);
        if (c.secondBox.empty()) {
            EXPECT_EQ(inst.os.boxes[1].text, ReportOf(10));
            EXPECT_EQ(inst.box.readFile("DATEN/ORVEN.MDB"), "hauptdatenbank");
            const std::string log = inst.box.readFile(Installation::kLog);
            EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        } else {
            EXPECT_EQ(inst.os.boxes[1].text, c.secondBox);
            EXPECT_EQ(inst.os.boxes[1].title, c.secondTitle);
            EXPECT_EQ(inst.os.boxes[1].style, 16);
            // Nothing of the update is installed: only the version file read before the question.
            auto after = inst.filesButLogs();
            std::erase_if(after,
                          [](const auto& file) { return file.first == "ORVEN32/orv/orvupd.txt"; });
            EXPECT_EQ(after, before);
        }
        EXPECT_EQ(inst.archiveBytes(), delivered);
        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
    }
}

TEST(Installation, ReplacesARunningUpdaterAndRemovesWhatItMovedAsideInTheNextRun) {
    Installation inst;
    inst.box.writeFile("ORVEN32/UPDATE/orvupd.exe", "updater 3.0");
    inst.writeArchive({{"orvupd.txt", "15.03.2019 3.1\r\n"},
                       {"UPDATE/orvupd.exe", "updater 3.1"},
                       {"liesmich.txt", "neu"}});
    inst.os.faulty.runFrom("C:\\ORVEN32\\UPDATE\\orvupd.exe");
    inst.run();
    ASSERT_EQ(inst.os.boxes.size(), 2u);
    EXPECT_EQ(inst.os.boxes[1].text, ReportOf(3));
    EXPECT_EQ(inst.box.readFile("ORVEN32/UPDATE/orvupd.exe"), "updater 3.1");
    const auto leftovers = [&inst] {
        std::vector<std::string> found;
        for (const auto& [path, contents] : inst.box.snapshot()) {
            if (path.find(".orvupd-") != std::string::npos) found.push_back(path + ": " + contents);
        }
        return found;
    };
    // The old updater still runs: its file stays, under names of the updater's own.
    ASSERT_FALSE(leftovers().empty());
    for (const std::string& leftover : leftovers()) {
        EXPECT_NE(leftover.find("UPDATE/orvupd.exe.orvupd-old-"), std::string::npos) << leftover;
        EXPECT_NE(leftover.find(": updater 3.0"), std::string::npos) << leftover;
    }

    inst.os.faulty.endPrograms();
    inst.writeArchive({{"orvupd.txt", "16.03.2019 3.2\r\n"}, {"liesmich.txt", "neuer"}});
    inst.run();
    EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), "neuer");
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

// The lines of the run's log without their times, after checking that each begins with one.
std::vector<std::string> LogLines(const std::string& log) {
    static const std::regex kTime{R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d $)"};
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end = log.find("\r\n"); end != std::string::npos;
         begin = end + 2, end = log.find("\r\n", begin)) {
        const std::string line = log.substr(begin, end - begin);
        EXPECT_TRUE(line.size() > 20 && std::regex_match(line.substr(0, 20), kTime)) << line;
        lines.push_back(line.size() > 20 ? line.substr(20) : line);
    }
    EXPECT_EQ(begin, log.size()) << "the log ends in the middle of a line";
    return lines;
}

TEST(Installation, LeavesALogThatSaysWhereEachFileWentAndWhatTheUserSaw) {
    struct LogCase {
        const char* name;
        const char* blockedFolder;      // the INI's Pfad2 lies below this file; null: none
        std::vector<std::string> lines; // among the log's lines
    };
    const LogCase kCases[] = {
        {"a whole run",
         nullptr,
         {"ORVEN-Update 3.0.0 in C:\\ORVEN32\\UPDATE, Befehlszeile \"01.02.2019 3.0\"",
          "INI-Datei: C:\\ORVEN32\\orv\\ORVEN32.INI",
          "Datenbankverzeichnisse: Pfad1 = C:\\DATEN, Pfad2 = C:\\DATEN\\VW, Pfad3 = "
          "C:\\ORVEN32\\KEYTABS",
          "Sicherung angelegt: C:\\ORVEN32\\update\\orvupd.zip$$$",
          "Meldung \"ORVEN-Update 3.0.0\" (Stil 52): Version  3.1 vom 15.03.2019 wird "
          "installiert. /  / Wollen Sie das Update jetzt ausführen ?",
          "Antwort: Ja", "  ORVEN.MDB -> C:\\DATEN\\ORVEN.MDB",
          "  ORVVW.MDB -> C:\\DATEN\\VW\\ORVVW.MDB",
          "  ORVTABS.MDB -> C:\\ORVEN32\\KEYTABS\\ORVTABS.MDB",
          "Aus dem Archiv entfernt: ORVEN.MDB (1 Einträge)", "Entpackt: *.*, 3 Datei(en)",
          "Meldung \"ORV-Update installieren\" (Stil 64): ORVEN-Update ordnungsgemäß "
          "installiert. /  / Es wurden 10 Dateien kopiert.",
          "Archiv wiederhergestellt: C:\\ORVEN32\\update\\orvupd.zip",
          "Neustart von ORVEN angefordert: C:\\ORVEN32\\orv\\orven32.exe", "Ende"}},
        {"a failed row",
         "DATEN/BLOCKIERT",
         {"Fehler 75 (Fehler beim Zugriff auf Pfad/Datei), Systemcode 17 beim Entpacken von "
          "ORVVW.MDB; Verzeichnis anlegen: C:\\DATEN\\BLOCKIERT",
          "Meldung \"Fehler\" (Stil 16): Fehler beim entpacken der Datei(en) ORVVW.MDB / Fehler "
          "= Fehler beim Zugriff auf Pfad/Datei",
          "Meldung \"ORVEN-Update installieren\" (Stil 16): ORVEN-Update nicht vollständig "
          "installiert. /  / Es wurden 9 Dateien kopiert.",
          "Ende"}},
    };
    for (const LogCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        if (c.blockedFolder != nullptr) {
            inst.box.writeFile(c.blockedFolder, "x");
            inst.box.writeFile("ORVEN32/orv/orven32.ini",
                               "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\BLOCKIERT\\VW\r\n");
        }
        inst.writeArchive(kFullUpdate);
        inst.run();
        const std::vector<std::string> lines = LogLines(inst.box.readFile(Installation::kLog));
        for (const std::string& line : c.lines) {
            std::string all;
            for (const std::string& shown : lines)
                all += shown + "\n";
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
                << line << "\nnot among\n"
                << all;
        }
    }
}

TEST(Installation, KeepsTheLogOfTheRunBeforeAndWritesNoneWithoutAnUpdateFolder) {
    Installation inst;
    inst.writeArchive(kFullUpdate);
    inst.run();
    const std::string first = inst.box.readFile(Installation::kLog);
    inst.run();
    EXPECT_EQ(inst.box.readFile(Installation::kPreviousLog), first);

    Installation elsewhere; // started from a folder whose installation has no update folder
    elsewhere.box.makeDirectory("ANDERS/BACKUP");
    elsewhere.os.ownDir = "C:\\ANDERS\\BACKUP";
    elsewhere.run();
    for (const auto& [path, contents] : elsewhere.box.snapshot()) {
        EXPECT_EQ(path.find("orvupd.log"), std::string::npos) << path;
    }
}

// A component that writes nothing and reports the counts it is told to.
class CountingZip : public ZipComponent {
  public:
    explicit CountingZip(std::int32_t allCount) : allCount_(allCount) {}
    void SetLanguage(std::int32_t) override {}
    std::int32_t UnZipEx(const std::string&, const std::string&, const std::string& mask,
                         std::int32_t, const char*, std::int32_t, ProgressTarget*) override {
        return mask == "*.*" ? allCount_ : 0;
    }
    void ZipDeleteFile(const std::string&, const std::string&, ProgressTarget*) override {}
    StoredEntries entriesOf(const std::string&) override { return {}; }
    bool isReducedCopyOf(const std::string&, const std::string&) override { return false; }
    void removeLeftovers(const std::string&) override {}

  private:
    std::int32_t allCount_;
};

TEST(Installation, CountsInSixteenBits) {
    struct CountCase {
        std::int32_t count;
        std::string report;
    };
    const CountCase kCases[] = {
        {32767, ReportOf(32767)},
        {-3, "Keine Dateien zum Kopieren vorhanden."},
        {32768, "Fehler beim Installieren des ORVEN-Updates\r\n\r\nFehlercode = 6\r\n"
                "Fehler =     Überlauf"},
    };
    for (const CountCase& c : kCases) {
        Installation inst;
        inst.writeArchive({{"liesmich.txt", "neu"}});
        const std::string delivered = inst.archiveBytes();
        CountingZip zip{c.count};
        Main(inst.os, zip);
        ASSERT_EQ(inst.os.boxes.size(), 2u);
        EXPECT_EQ(inst.os.boxes[1].text, c.report);
        EXPECT_FALSE(inst.os.start.state().loaded);
        EXPECT_EQ(inst.archiveBytes(), delivered);
    }
}

} // namespace
} // namespace orv
