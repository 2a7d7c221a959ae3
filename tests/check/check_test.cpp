// orvupd-check on the archives an update author may hand it: the demo's archive, archives made
// to harm, archives with the mistakes authors make, and files that are no archive at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "check/report.h"
#include "platform/runtime_error.h"
#include "posix/ini_file.h"
#include "posix/posix_file_system.h"
#include "support/forwarding_zip.h"
#include "support/installation.h"
#include "support/minisign.h"
#include "support/sandbox.h"
#include "support/zip_writer.h"
#include "update/main.h"

namespace orv::check {
namespace {

using testing::ZipEntry;

const std::string kVersion = "15.03.2025 3.1\r\n";

// What the demo ships (scripts/demo).
const std::vector<ZipEntry> kDemo = {
    {"orvupd.txt", kVersion},
    {"ORVTABS.MDB", "Schlüsseltabellen\n"},
    {"MUNDAREL.MDB", "Mundarten\n"},
    {"ORVEN.MDB", "Stammdaten\n"},
    {"ORVVW.MDB", "Verwaltung\n"},
    {"SYSTEM/orvgrid.ocx", "Steuerelement\n"},
    {"SYSTEM/orvcalc.dll", "Bibliothek\n"},
    {"orv/orven32.exe", "#!/bin/sh\n"},
    {"orv/hilfe/orven.chm", "Hilfe\n"},
    {"orv/vorlagen/brief.dot", "Briefvorlage\n"},
    {"liesmich.txt", "Neu in ORVEN 3.1: alles.\r\n"},
};

const std::string kIni = "[ORVEN]\r\nPfad1 = D:\\DATEN\r\nPfad2 = D:\\DATEN\\VW\r\nPfad3 =\r\n";

struct Outcome {
    int status = 0;
    std::string report;
};

// The program as orvupd-check runs it on Linux.
Outcome Check(const std::vector<std::string>& arguments) {
    posix::PosixFileSystem files;
    const IniReader readIni = [&files](const std::string& file, const std::string& section,
                                       const std::string& key, std::size_t bufferSize) {
        return posix::ReadProfileString(files.nativePath(file), section, key, "", bufferSize);
    };
    std::ostringstream out;
    const int status = RunCheck(files, arguments, readIni, out);
    return {status, out.str()};
}

std::vector<ZipEntry> DemoWith(std::vector<ZipEntry> more) {
    std::vector<ZipEntry> entries = kDemo;
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

std::vector<ZipEntry> DemoWithVersion(const std::string& version) {
    std::vector<ZipEntry> entries = kDemo;
    entries.front().contents = version;
    return entries;
}

struct ArchiveCase {
    const char* name;
    std::vector<ZipEntry> entries;
    bool withIni;
    int status;
    std::vector<std::string> expected; // lines or parts of lines of the report
};

const std::string kLongFolder(130, 'o');

const ArchiveCase kArchiveCases[] = {
    {"demo",
     kDemo,
     false,
     kArchiveGood,
     {"  Datum           15.03.2025", "  Form            wohlgeformt",
      "  3   ORVEN.MDB     C:\\ORVEN32\\orv            1        ORVEN.MDB               "
      "C:\\ORVEN32\\orv\\ORVEN.MDB",
      "C:\\ORVEN32\\KEYTABS\\MUNDAREL.MDB", "C:\\SYSTEM\\orvcalc.dll",
      "  V   *orvupd.txt   C:\\ORVEN32\\ORV", "C:\\ORVEN32\\orv\\vorlagen\\brief.dot",
      "Befunde\n  keine\n", "Ergebnis: in Ordnung"}},
    {"demo_with_ini",
     kDemo,
     true,
     kArchiveGood,
     {"D:\\DATEN\\ORVEN.MDB", "D:\\DATEN\\VW\\ORVVW.MDB", "C:\\ORVEN32\\KEYTABS\\ORVTABS.MDB",
      "Abschnitt ORVEN"}},
    {"database_in_folder",
     DemoWith({{"daten/ORVEN.MDB", "Stammdaten\n"}}),
     true,
     kArchiveFaulty,
     {"falsch abgelegt  daten/ORVEN.MDB", "(nach D:\\DATEN\\ORVEN.MDB)",
      "Zeile 7 (*.*) schreibt den Eintrag nach C:\\ORVEN32\\daten\\ORVEN.MDB."}},
    {"database_in_folder_of_default_place",
     {{"orvupd.txt", kVersion}, {"orv/ORVEN.MDB", "Stammdaten\n"}},
     false,
     kArchiveGood,
     {"Hinweis  orv/ORVEN.MDB", "zufällig dieselbe Datei"}},
    {"database_also_in_folder_of_default_place",
     DemoWith({{"orv/ORVEN.MDB", "Stammdaten\n"}}),
     false,
     kArchiveFaulty,
     {"C:\\ORVEN32\\orv\\ORVEN.MDB wird zweimal geschrieben, von Zeile 3 (ORVEN.MDB) und von "
      "Zeile 7 (*.*); es bleibt dieser Eintrag."}},
    {"no_version_file",
     {{"liesmich.txt", "x"}},
     false,
     kArchiveFaulty,
     {"Keine Versionsdatei orvupd.txt im Archiv."}},
    {"version_file_in_folder",
     {{"info/orvupd.txt", kVersion}, {"liesmich.txt", "x"}},
     false,
     kArchiveFaulty,
     {"info/orvupd.txt", "liegt nicht oben im Archiv"}},
    {"empty_version_file",
     DemoWithVersion(""),
     false,
     kArchiveFaulty,
     {"Fehler 62: Eingabe hinter Dateiende"}},
    {"version_line_without_date",
     DemoWithVersion("Version 3.1 vom 15.3.2025\r\n"),
     false,
     kArchiveFaulty,
     {"  Form            nicht wohlgeformt", "kein Datum TT.MM.JJJJ"}},
    {"version_line_not_a_day",
     DemoWithVersion("29.02.2025 3.1\r\n"),
     false,
     kArchiveFaulty,
     {"29.02.2025 ist kein Kalenderdatum"}},
    {"version_line_without_label",
     DemoWithVersion("15.03.2025\r\n"),
     false,
     kArchiveFaulty,
     {"ab Zeichen 11 steht nicht ein Leerzeichen und die Version"}},
    {"two_version_files",
     DemoWith({{"ORVUPD.TXT", kVersion}}),
     false,
     kArchiveFaulty,
     {"Fehler 31010: Das Zip-Archiv enthält zwei Einträge mit demselben Namen: ORVUPD.TXT.",
      "Es brechen ab: die Versionsdatei (*orvupd.txt), Zeile 7 (*.*); nichts davon"}},
    {"database_twice",
     DemoWith({{"orven.mdb", "Stammdaten\n"}}),
     false,
     kArchiveFaulty,
     // The failed row's entries leave the archive as the updater removes them: the last row
     // writes the rest and never sees the two databases.
     {"orven.mdb  Fehler 31010", "Es bricht ab: Zeile 3 (ORVEN.MDB);", "0, bricht ab"}},
    {"new_updater",
     DemoWith({{"UPDATE/orvupd.exe", "MZ"}}),
     false,
     kArchiveGood,
     {"Hinweis  UPDATE/orvupd.exe", "C:\\ORVEN32\\UPDATE\\orvupd.exe"}},
    {"path_too_long",
     DemoWith({{kLongFolder + "/" + kLongFolder + "/a.txt", "x"}}),
     false,
     kArchiveFaulty,
     {"zu lang", " Zeichen lang (höchstens 259)"}},
    {"name_too_long",
     DemoWith({{std::string(256, 'n') + ".txt", "x"}}),
     false,
     kArchiveFaulty,
     {"ist länger als 255 Zeichen"}},
};

class ArchiveCheck : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(ArchiveCheck, ReportsWhatTheUpdaterWouldDo) {
    const ArchiveCase& c = GetParam();
    const orv::testing::Sandbox sandbox;
    testing::WriteZip(sandbox.path("orvupd.zip"), c.entries);
    std::vector<std::string> arguments{sandbox.path("orvupd.zip")};
    if (c.withIni) {
        sandbox.writeFile("orven32.ini", kIni);
        arguments.push_back(sandbox.path("orven32.ini"));
    }
    const Outcome outcome = Check(arguments);
    EXPECT_EQ(outcome.status, c.status) << outcome.report;
    for (const std::string& part : c.expected) {
        EXPECT_NE(outcome.report.find(part), std::string::npos) << "missing: " << part << "\n"
                                                                << outcome.report;
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveCheck, ::testing::ValuesIn(kArchiveCases),
                         [](const auto& param) { return std::string(param.param.name); });

// Archives of the zip component's tests that extraction refuses: the check names the entry with
// the error extraction gives.
struct HostileCase {
    const char* archive;
    int status;
    std::string expected;
};

const HostileCase kHostileCases[] = {
    {"parent.zip", kArchiveFaulty,
     "Fehler 31003: Das Zip-Archiv enthält einen unzulässigen "
     "Dateinamen: ../x. Es bricht ab: Zeile 7 (*.*);"},
    {"drive.zip", kArchiveFaulty,
     "Fehler 31003: Das Zip-Archiv enthält einen unzulässigen "
     "Dateinamen: C:\\x."},
    {"device_extension.zip", kArchiveFaulty, "Dateinamen: sub/con.txt."},
    {"stream.zip", kArchiveFaulty, "Dateinamen: a.txt:s."},
    {"control.zip", kArchiveFaulty, "Dateinamen: a?b."},
    {"symlink.zip", kArchiveFaulty,
     "Fehler 31009: Das Zip-Archiv enthält eine symbolische "
     "Verknüpfung: link."},
    {"case_duplicate.zip", kArchiveFaulty,
     "Fehler 31010: Das Zip-Archiv enthält zwei Einträge "
     "mit demselben Namen: README.TXT."},
    {"umlaut_case_duplicate.zip", kArchiveFaulty, "mit demselben Namen: grÜße.TXT."},
    {"file_and_folder.zip", kArchiveFaulty, "mit demselben Namen: a/b.txt."},
    {"unsupported.zip", kArchiveFaulty,
     "Fehler 31004: Das Zip-Archiv verwendet ein nicht "
     "unterstütztes Verfahren: packed.bin."},
    {"encrypted.zip", kArchiveFaulty,
     "Fehler 31005: Das Zip-Archiv enthält verschlüsselte "
     "Dateien: secret.txt."},
    {"bad_crc.zip", kArchiveFaulty, "Fehler 31006: Prüfsummenfehler im Zip-Archiv: data.txt."},
    {"bomb.zip", kArchiveFaulty,
     "Fehler 31007: Ein Eintrag im Zip-Archiv ist größer als "
     "angegeben: bomb.bin."},
    {"short.zip", kArchiveFaulty, "Fehler 31002: Das Zip-Archiv ist beschädigt: short.bin."},
    {"truncated.zip", kArchiveUnreadable, "Fehler 31001: Die Datei ist kein gültiges Zip-Archiv"},
    {"truncated_tail.zip", kArchiveUnreadable, "Fehler 31001"},
    {"zero_length.zip", kArchiveUnreadable, "Fehler 31001"},
    {"text.zip", kArchiveUnreadable, "Fehler 31001"},
    {"folder.zip", kArchiveUnreadable, "Fehler 31001"},
    {"missing.zip", kArchiveUnreadable, "Fehler 53: Datei nicht gefunden"},
};

class HostileArchiveCheck : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileArchiveCheck, NamesTheEntryAndTheError) {
    const HostileCase& c = GetParam();
    const std::string archives = ORV_ZIPKIT_ARCHIVES;
    if (!std::ifstream(archives + "/complete")) GTEST_SKIP() << "no test archives (Python)";
    const Outcome outcome = Check({archives + "/" + c.archive});
    EXPECT_EQ(outcome.status, c.status) << outcome.report;
    EXPECT_NE(outcome.report.find(c.expected), std::string::npos) << outcome.report;
    if (c.status == kArchiveFaulty) {
        // The harmless entry beside the hostile one is not blamed.
        EXPECT_EQ(outcome.report.find("abgelehnt        good.txt"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(ZipkitArchives, HostileArchiveCheck, ::testing::ValuesIn(kHostileCases),
                         [](const auto& param) {
                             std::string name = param.param.archive;
                             return name.substr(0, name.find('.'));
                         });

// Data after the end record: libzip reads the archive, but the updater cannot remove entries
// from it, so the last row writes the databases a second time into the installation.
TEST(ArchiveCheck, NamesAnArchiveWhoseEntriesCannotBeRemoved) {
    const orv::testing::Sandbox sandbox;
    testing::WriteZip(sandbox.path("orvupd.zip"), kDemo);
    std::ofstream(sandbox.path("orvupd.zip"), std::ios::app | std::ios::binary) << "Rest";
    const Outcome outcome = Check({sandbox.path("orvupd.zip")});
    EXPECT_EQ(outcome.status, kArchiveFaulty) << outcome.report;
    EXPECT_NE(outcome.report.find("Einträge lassen sich nicht aus dem Archiv entfernen"),
              std::string::npos)
        << outcome.report;
    EXPECT_NE(outcome.report.find("C:\\ORVEN32\\ORVEN.MDB"), std::string::npos) << outcome.report;
}

// With --key: the signature beside the archive, made by the real minisign.
TEST(ArchiveCheck, NamesWhyASignatureFails) {
    if (!testing::Minisign::Available()) GTEST_SKIP() << "minisign is not installed";
    struct SignatureCase {
        const char* name;
        const char* signedBy; // nullptr: not signed
        bool changedAfterwards;
        int status;
        const char* line;
    };
    const SignatureCase kCases[] = {
        {"signed", "vendor", false, kArchiveGood, ": gültig"},
        {"not signed", nullptr, false, kArchiveFaulty, ": keine Signaturdatei"},
        {"changed after signing", "vendor", true, kArchiveFaulty, ": das Archiv wurde nach"},
        {"another key", "other", false, kArchiveFaulty, ": signiert mit einem anderen Schlüssel"},
    };
    for (const SignatureCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const orv::testing::Sandbox sandbox;
        testing::Minisign minisign;
        sandbox.writeFile("orvupd.pub", minisign.makeKey("vendor"));
        minisign.makeKey("other");
        testing::WriteZip(sandbox.path("orvupd.zip"), kDemo);
        if (c.signedBy) minisign.sign(c.signedBy, sandbox.path("orvupd.zip"));
        if (c.changedAfterwards) {
            std::ofstream(sandbox.path("orvupd.zip"), std::ios::app | std::ios::binary) << "x";
        }
        const Outcome outcome =
            Check({"--key", sandbox.path("orvupd.pub"), sandbox.path("orvupd.zip")});
        EXPECT_EQ(outcome.status, c.status) << outcome.report;
        EXPECT_NE(outcome.report.find(c.line), std::string::npos) << outcome.report;
    }
}

TEST(ArchiveCheck, RefusesToGuessWithoutArchiveOrWithAMissingIni) {
    const orv::testing::Sandbox sandbox;
    testing::WriteZip(sandbox.path("orvupd.zip"), kDemo);
    const Outcome missingIni = Check({sandbox.path("orvupd.zip"), sandbox.path("fehlt.ini")});
    EXPECT_EQ(missingIni.status, kArchiveUnreadable);
    EXPECT_NE(missingIni.report.find("fehlt.ini ist nicht vorhanden"), std::string::npos);
    EXPECT_EQ(Check({}).status, kArchiveUnreadable);
    EXPECT_EQ(Check({"--key", sandbox.path("fehlt.pub"), sandbox.path("orvupd.zip")}).status,
              kArchiveUnreadable);
}

// The updater and the check make the same stages on an archive: each extraction counts the
// same, fails alike, and the same entries leave the archive after it.
struct StageRecord {
    std::string mask;
    int count = 0;
    bool failed = false;
    std::vector<std::string> removed; // sorted
};

// The updater's own component, watched: what each extraction returned or whether it failed,
// and which entries each removal took out of the archive.
class WatchedZip : public orv::testing::ForwardingZip {
  public:
    using ForwardingZip::ForwardingZip;
    std::int32_t UnZipEx(const std::string& archive, const std::string& target,
                         const std::string& mask, std::int32_t overwrite, const char* password,
                         std::int32_t options, ProgressTarget* progress) override {
        StageRecord& stage = stages.emplace_back(StageRecord{mask, 0, true, {}});
        stage.count =
            ForwardingZip::UnZipEx(archive, target, mask, overwrite, password, options, progress);
        stage.failed = false;
        return stage.count;
    }
    void ZipDeleteFile(const std::string& archive, const std::string& mask,
                       ProgressTarget* progress) override {
        const std::vector<std::string> before = namesIn(archive);
        ForwardingZip::ZipDeleteFile(archive, mask, progress);
        const std::vector<std::string> after = namesIn(archive);
        std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                            std::back_inserter(stages.back().removed));
    }

    std::vector<StageRecord> stages;

  private:
    std::vector<std::string> namesIn(const std::string& archive) {
        std::vector<std::string> names = entriesOf(archive).names;
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::vector<StageRecord> StagesOfCheck(const CheckResult& result) {
    std::vector<StageRecord> stages;
    for (const Stage& stage : result.stages) {
        std::vector<std::string> removed = stage.removed;
        std::sort(removed.begin(), removed.end());
        stages.push_back({stage.row.mask, stage.count, stage.fails, removed});
    }
    return stages;
}

// Runs the updater (started by the application, every question answered Yes) and the check on
// the archive, and compares their stages.
void ExpectUpdaterAndCheckAgree(const std::string& archive) {
    orv::testing::Installation inst;
    inst.box.makeDirectory("ORVEN32/update");
    std::filesystem::copy_file(archive, inst.file(orv::testing::Installation::kArchive));
    WatchedZip zip{inst.os.patientFiles()};
    Main(inst.os, zip);

    posix::PosixFileSystem files;
    const InstallationDirs dirs = DirsOf("C:\\ORVEN32", "C:\\DATEN", "C:\\DATEN\\VW", "");
    std::optional<CheckResult> checked;
    try {
        checked = CheckArchive(files, archive, dirs);
    } catch (const RuntimeError&) {
        // Unreadable: every extraction of the updater fails, and nothing leaves the archive.
        for (const StageRecord& stage : zip.stages) {
            EXPECT_TRUE(stage.failed) << stage.mask;
            EXPECT_TRUE(stage.removed.empty()) << stage.mask;
        }
        return;
    }
    const std::vector<StageRecord> expected = StagesOfCheck(*checked);
    // Only a version file whose line cannot be read ends the updater before its rows.
    if (zip.stages.size() < expected.size()) {
        EXPECT_EQ(zip.stages.size(), 1u);
        EXPECT_FALSE(checked->version.line);
    }
    // A name that the check finds too long is the file system's to refuse, not the plan's: the
    // updater's row fails on it where the check counts the row's entries.
    const bool tooLong = std::ranges::any_of(
        checked->findings, [](const Finding& f) { return f.kind == FindingKind::TooLong; });
    for (std::size_t i = 0; i < std::min(zip.stages.size(), expected.size()); ++i) {
        SCOPED_TRACE(expected[i].mask);
        EXPECT_EQ(zip.stages[i].mask, expected[i].mask);
        EXPECT_EQ(zip.stages[i].removed, expected[i].removed);
        if (tooLong && zip.stages[i].failed && !expected[i].failed) continue;
        EXPECT_EQ(zip.stages[i].count, expected[i].count);
        EXPECT_EQ(zip.stages[i].failed, expected[i].failed);
    }
}

TEST_P(ArchiveCheck, AgreesWithTheUpdater) {
    const orv::testing::Sandbox sandbox;
    testing::WriteZip(sandbox.path("orvupd.zip"), GetParam().entries);
    ExpectUpdaterAndCheckAgree(sandbox.path("orvupd.zip"));
}

TEST(ArchiveCheck, AgreesWithTheUpdaterOnTheZipComponentsArchives) {
    const std::string archives = ORV_ZIPKIT_ARCHIVES;
    if (!std::ifstream(archives + "/complete")) GTEST_SKIP() << "no test archives (Python)";
    std::vector<std::string> paths;
    for (const auto& item : std::filesystem::directory_iterator(archives)) {
        if (item.is_regular_file() && item.path().extension() == ".zip") {
            paths.push_back(item.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_GE(paths.size(), 20u);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ExpectUpdaterAndCheckAgree(path);
    }
}

} // namespace
} // namespace orv::check
