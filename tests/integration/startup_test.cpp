// Start-up: where the updater finds itself, the INI file and the archive, the backup copy of
// the archive, and the common exit.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"
#include "support/installation.h"
#include "support/minisign.h"

namespace orv {
namespace {

using testing::Box;
using testing::FileOp;
using testing::Installation;

const std::string kWhereItBelongs =
    "Stellen Sie sicher, dass sich das Programm im \r\n"
    "Unterverzeichnis UPDATE innerhalb des Installationsverzeichnisses\r\n"
    "von ORVEN befindet, z. B. c:\\orven32\\update\r\n\r\n";

std::string OutsideTheInstallation(const std::string& dir) {
    return "Das Update-Programm wird aus dem Verzeichnis " + dir + " aufgerufen.\r\n\r\n" +
           "Sie haben das Updateprogramm außerhalb des Installationsverzeichnisses von ORVEN "
           "gestartet.\r\n" +
           kWhereItBelongs;
}

std::string NotInAnUpdateFolder(const std::string& dir) {
    return "Das Update-Programm wird aus dem Verzeichnis " + dir + " aufgerufen.\r\n\r\n" +
           kWhereItBelongs;
}

const std::string kOpenNote = "Sie haben die Anwendung 'Korvelin - ORVEN' geöffnet.\r\n"
                              "Bitte beenden Sie das Programm und starten\r\n"
                              "'Testversion aktualisieren' noch einmal.";

const std::vector<testing::ZipEntry> kGoodArchive{
    {"orvupd.txt", "15.03.2019 3.1\r\n"},
    {"liesmich.txt", "neu"},
};

constexpr const char* kApplication = "C:\\ORVEN32\\orv\\orven32.exe";

void ExpectBoxes(const Installation& inst, const std::vector<Box>& expected) {
    ASSERT_EQ(inst.os.boxes.size(), expected.size()) << ::testing::PrintToString(inst.boxTexts());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(inst.os.boxes[i].text, expected[i].text) << "box " << i;
        EXPECT_EQ(inst.os.boxes[i].title, expected[i].title) << "box " << i;
        EXPECT_EQ(inst.os.boxes[i].style, expected[i].style) << "box " << i;
    }
}

struct RefusalCase {
    const char* name;
    std::function<void(Installation&)> arrange;
    std::vector<Box> boxes;
    const char* launched; // nullptr: the application is not started again
};

TEST(StartUp, RefusesToRunOutsideTheApplicationsUpdateDirectory) {
    const RefusalCase kCases[] = {
        {"application missing",
         [](Installation& i) { std::filesystem::remove(i.file("ORVEN32/orv/orven32.exe")); },
         {{OutsideTheInstallation("C:\\ORVEN32\\UPDATE"), "ORVEN-Update", 16}},
         kApplication},
        {"directory of six other characters",
         [](Installation& i) { i.os.ownDir = "C:\\ORVEN32\\BACKUP"; },
         {{NotInAnUpdateFolder("C:\\ORVEN32\\BACKUP"), "ORVEN-Update", 16}},
         kApplication},
        {"directory of another length: the application is not found",
         [](Installation& i) { i.os.ownDir = "C:\\ORVEN32\\UPD2"; },
         // The exit starts what the cut gave as the installation.
         {{OutsideTheInstallation("C:\\ORVEN32\\UPD2"), "ORVEN-Update", 16}},
         "C:\\ORVEN\\orv\\orven32.exe"},
        {"directory too short to cut",
         [](Installation& i) { i.os.ownDir = "C:\\UPD"; },
         {{"Fehler beim Installieren des ORVEN-Updates\r\n\r\nFehlercode = 5\r\nFehler =     "
           "Ungültiger Prozeduraufruf oder ungültiges Argument",
           "Fehler", 16}},
         "\\orv\\orven32.exe"},
        {"application held open: the note, then the refusal outside the installation",
         [](Installation& i) { i.os.faulty.hold(kApplication); },
         {{kOpenNote, "ORVEN geöffnet", 16},
          {OutsideTheInstallation("C:\\ORVEN32\\UPDATE"), "ORVEN-Update", 16}},
         kApplication},
        {"INI file nowhere: its refusal and no exit",
         [](Installation& i) { std::filesystem::remove(i.file("ORVEN32/orv/orven32.ini")); },
         {{"ORVEN32.INI ist weder im Windows-Verzeichnis\r\nC:\\WINDOWS noch im "
           "Applikationsverzeichnis\r\nC:\\ORVEN32\\ORV vorhanden,\r\nbitte überprüfen Sie Ihre "
           "ORVEN-Installation.",
           "Datei nicht vorhanden", 16}},
         nullptr},
        {"archive missing",
         [](Installation& i) { std::filesystem::remove(i.file(Installation::kArchive)); },
         {{"Die Update-Datei orvupd.zip ist nicht im Verzeichnis C:\\ORVEN32\\update "
           "vorhanden.\r\n",
           "Datei nicht vorhanden", 16}},
         kApplication},
        {"archive missing, started by hand",
         [](Installation& i) {
             std::filesystem::remove(i.file(Installation::kArchive));
             i.os.commandLineText.clear();
         },
         {{"Die Update-Datei orvupd.zip ist nicht im Verzeichnis C:\\ORVEN32\\update "
           "vorhanden.\r\n",
           "Datei nicht vorhanden", 16}},
         nullptr},
        {"archive held open",
         [](Installation& i) { i.os.faulty.hold("C:\\ORVEN32\\update\\orvupd.zip"); },
         {{kOpenNote, "ORVEN geöffnet", 16},
          {"Die Update-Datei orvupd.zip ist nicht im Verzeichnis C:\\ORVEN32\\update "
           "vorhanden.\r\n",
           "Datei nicht vorhanden", 16}},
         kApplication},
    };
    for (const RefusalCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(kGoodArchive);
        const std::string delivered = inst.archiveBytes();
        c.arrange(inst);
        inst.run();
        ExpectBoxes(inst, c.boxes);
        const std::vector<std::string> launches =
            c.launched ? std::vector<std::string>{c.launched} : std::vector<std::string>{};
        EXPECT_EQ(inst.os.launcher.launches, launches);
        EXPECT_FALSE(inst.os.start.state().loaded);
        EXPECT_FALSE(inst.backupExists());
        if (inst.box.exists(Installation::kArchive)) {
            EXPECT_EQ(inst.archiveBytes(), delivered);
        }
    }
}

TEST(StartUp, AcceptsTheUpdateDirectoryInLowerCase) {
    Installation inst;
    inst.writeArchive(kGoodArchive);
    inst.os.ownDir = "C:\\ORVEN32\\update";
    inst.os.answers = {Answer::No};
    inst.run();
    ASSERT_FALSE(inst.os.boxes.empty());
    EXPECT_EQ(inst.os.boxes[0].title, "ORVEN-Update 3.0.0"); // the question: every check passed
}

TEST(StartUp, PrefersTheApplicationDirectorysIniFile) {
    struct IniCase {
        const char* name;
        bool inAppDir;
        bool inWindowsDir;
        const char* databaseLandsIn;
    };
    const IniCase kCases[] = {
        {"both", true, true, "DATEN/ORVEN.MDB"},
        {"application directory only", true, false, "DATEN/ORVEN.MDB"},
        {"Windows directory only", false, true, "WINDATEN/ORVEN.MDB"},
    };
    for (const IniCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive({{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"ORVEN.MDB", "datenbank"}});
        if (!c.inAppDir) std::filesystem::remove(inst.file("ORVEN32/orv/orven32.ini"));
        if (c.inWindowsDir) {
            inst.box.writeFile("WINDOWS/orven32.ini", "[ORVEN]\r\nPfad1=C:\\WINDATEN\r\n");
            inst.box.makeDirectory("WINDATEN");
        }
        inst.run();
        EXPECT_EQ(inst.box.readFile(c.databaseLandsIn), "datenbank");
    }
}

TEST(StartUp, ShowsTheStatusWindowBeforeTouchingTheArchive) {
    Installation inst;
    inst.writeArchive(kGoodArchive);
    inst.os.answers = {Answer::No};
    inst.run();
    ASSERT_GE(inst.os.startAtBox.size(), 1u);
    const testing::StartState& atQuestion = inst.os.startAtBox[0];
    EXPECT_TRUE(atQuestion.shown);
    EXPECT_EQ(atQuestion.title, "ORVEN-Update 3.0.0");
    EXPECT_FALSE(atQuestion.frameVisible);
    EXPECT_TRUE(atQuestion.labelVisible);
    EXPECT_EQ(atQuestion.labelCaption, "Updateprogramm wird gestartet, bitte warten ...");
    // Centred: the exact halves of the differences, not rounded.
    EXPECT_EQ(atQuestion.left, (19200.0f - 4695.0f) / 2);
    EXPECT_EQ(atQuestion.top, (14400.0f - 1620.0f) / 2);
}

TEST(StartUp, ReplacesAStaleBackupAndRestoresTheArchive) {
    Installation inst;
    inst.writeArchive(kGoodArchive);
    inst.box.writeFile(Installation::kBackup, "Rest eines frueheren Laufs");
    const std::string delivered = inst.archiveBytes();
    inst.run();
    EXPECT_EQ(inst.archiveBytes(), delivered);
    EXPECT_FALSE(inst.backupExists());
}

TEST(StartUp, RefusesWhenTheCopyCannotBeVerified) {
    Installation inst;
    inst.writeArchive(kGoodArchive);
    const std::string delivered = inst.archiveBytes();
    inst.os.faulty.skewTime("C:\\ORVEN32\\update\\orvupd.zip$$$", 2);
    inst.run();
    ExpectBoxes(inst, {{"Die Update-Datei konnte nicht entpackt werden. \r\nIhnen fehlen die "
                        "Schreibrechte für das Installationsverzeichnis von ORVEN!",
                        "Fehler beim Update", 16}});
    // Without a verified copy the exit leaves both files alone.
    EXPECT_TRUE(inst.backupExists());
    EXPECT_EQ(inst.archiveBytes(), delivered);
    EXPECT_FALSE(inst.os.start.state().loaded);
    EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
}

TEST(StartUp, ReportsAFailureOfAnyKindAndEndsThroughTheExit) {
    struct FailureCase {
        const char* name;
        std::function<void(testing::FaultyFileSystem&)> arrange;
        const char* numberAndText;
    };
    const FailureCase kCases[] = {
        {"the copy is denied",
         [](testing::FaultyFileSystem& files) {
             files.failAt(FileOp::Copy, 1, err::kPermissionDenied);
         },
         "70\r\nFehler =     Zugriff verweigert"},
        {"memory runs out",
         [](testing::FaultyFileSystem& files) {
             files.throwAt(FileOp::Copy, 1, [] { throw std::bad_alloc(); });
         },
         "7\r\nFehler =     Nicht genügend Speicher"},
        {"a fault that is no run-time error",
         [](testing::FaultyFileSystem& files) {
             files.throwAt(FileOp::Copy, 1, [] { throw std::logic_error("kaputt"); });
         },
         "51\r\nFehler =     Interner Fehler"},
    };
    for (const FailureCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        inst.writeArchive(kGoodArchive);
        const std::string delivered = inst.archiveBytes();
        c.arrange(inst.os.faulty);
        inst.run();
        ExpectBoxes(inst, {{std::string("Fehler beim Installieren des ORVEN-Updates\r\n\r\n"
                                        "Fehlercode = ") +
                                c.numberAndText,
                            "Fehler", 16}});
        EXPECT_EQ(inst.archiveBytes(), delivered);
        EXPECT_FALSE(inst.backupExists());
        EXPECT_FALSE(inst.os.start.state().loaded);
        EXPECT_EQ(inst.os.launcher.launches.size(), 1u);
    }
}

TEST(StartUp, EndsAtOnceWhileAnotherUpdaterWorksOnTheInstallation) {
    Installation inst;
    inst.writeArchive(kGoodArchive);
    const auto before = inst.box.snapshot();
    inst.os.installationClaimed = true;
    inst.run();
    EXPECT_EQ(inst.os.claims, std::vector<std::string>{"C:\\ORVEN32"});
    EXPECT_TRUE(inst.os.events.empty()); // no box, no window
    EXPECT_TRUE(inst.os.launcher.launches.empty());
    EXPECT_EQ(inst.box.snapshot(), before);
}

TEST(ExitSection, GivesUpAfterABoundedNumberOfFailuresAndStillRestarts) {
    const std::string report = "Fehler beim Installieren des ORVEN-Updates\r\n\r\nFehlercode = "
                               "70\r\nFehler =     Zugriff verweigert";
    const std::string note = "ORV-Update wurde abgebrochen!\r\n\r\nORVEN wird wieder gestartet!";
    for (const bool byApplication : {false, true}) {
        SCOPED_TRACE(byApplication ? "started by the application" : "started by hand");
        Installation inst;
        inst.writeArchive(kGoodArchive);
        const std::string delivered = inst.archiveBytes();
        if (!byApplication) inst.os.commandLineText.clear();
        inst.os.answers = {Answer::No};
        // From the question on, the archive cannot be put back.
        inst.os.onBox = [&inst](std::size_t index) {
            if (index == 0) {
                inst.os.faulty.failFrom(FileOp::Replace, inst.os.faulty.count(FileOp::Replace) + 1,
                                        err::kPermissionDenied);
            }
        };
        inst.run();
        std::vector<std::string> expected;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (byApplication) expected.push_back(note); // the cancellation after a comparison
            expected.push_back(report);
        }
        const std::vector<std::string> texts = inst.boxTexts();
        const std::vector<std::string> shown(texts.begin() + 1, texts.end());
        EXPECT_EQ(shown, expected);
        // Nothing is lost: the delivered archive is still there as the backup.
        EXPECT_EQ(inst.box.readFile(Installation::kBackup), delivered);
        EXPECT_EQ(inst.os.launcher.launches.size(), byApplication ? 1u : 0u);
        EXPECT_FALSE(inst.os.start.state().loaded);
    }
}

TEST(ExitSection, RestartsExactlyWhenStartedByTheApplication) {
    for (const bool byApplication : {true, false}) {
        Installation inst;
        inst.writeArchive(kGoodArchive);
        if (!byApplication) inst.os.commandLineText.clear();
        inst.run();
        EXPECT_EQ(inst.os.launcher.launches.size(), byApplication ? 1u : 0u);
        EXPECT_FALSE(inst.os.launcher.loaded);
    }
}

} // namespace
} // namespace orv

namespace orv {
namespace {

TEST(StartUp, PutsBackABackupOnlyWhenItIsTheWholeOfTheArchive) {
    const std::vector<testing::ZipEntry> full{{"orvupd.txt", "15.03.2019 3.1\r\n"},
                                              {"ORVEN.MDB", "hauptdatenbank"},
                                              {"liesmich.txt", "neu"}};
    const std::vector<testing::ZipEntry> older{{"orvupd.txt", "01.01.2019 3.0\r\n"},
                                               {"ORVEN.MDB", "alte datenbank"},
                                               {"liesmich.txt", "alt"}};
    // What the updater finds beside the backup of `full`, or of `older`.
    enum class Found { Reduced, RemovalBrokeOff, CutShort, NewRelease, DamagedNewRelease };
    struct LeftCase {
        const char* name;
        Found found;
        bool backupPutBack;
    };
    const LeftCase kCases[] = {
        {"archive lost the entries already extracted", Found::Reduced, true},
        {"a removal broke off before the new directory was whole", Found::RemovalBrokeOff, true},
        {"a copy of the archive that broke off", Found::CutShort, false},
        {"a newly delivered archive", Found::NewRelease, false},
        {"a damaged new delivery beside an older release", Found::DamagedNewRelease, false},
    };
    for (const LeftCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        const bool olderBackup = c.found == Found::DamagedNewRelease;
        inst.writeArchive(olderBackup ? older : full);
        const std::string backupBytes = inst.archiveBytes();
        inst.box.writeFile(Installation::kBackup, backupBytes);
        switch (c.found) {
        case Found::Reduced:
            inst.writeArchive({{"liesmich.txt", "neu"}});
            break;
        case Found::RemovalBrokeOff: {
            // The old end record lost its signature; the entries' data is untouched.
            std::string broken = backupBytes;
            broken.replace(broken.rfind("PK\x05\x06"), 4, std::string(4, '\0'));
            inst.box.writeFile(Installation::kArchive, broken);
            break;
        }
        case Found::CutShort:
            inst.box.writeFile(Installation::kArchive, backupBytes.substr(0, 40));
            break;
        case Found::NewRelease:
            inst.writeArchive({{"liesmich.txt", "neuer"}});
            break;
        case Found::DamagedNewRelease:
            inst.writeArchive(full);
            inst.box.writeFile(Installation::kArchive,
                               inst.archiveBytes().substr(0, inst.archiveBytes().size() * 3 / 5));
            break;
        }
        const std::string found = inst.archiveBytes();
        inst.run();
        EXPECT_FALSE(inst.backupExists());
        for (const std::string& text : inst.boxTexts()) {
            EXPECT_EQ(text.find("3.0 vom 01.01.2019"), std::string::npos) << text;
        }
        if (c.backupPutBack) {
            EXPECT_EQ(inst.archiveBytes(), backupBytes);
            EXPECT_EQ(inst.box.readFile("DATEN/ORVEN.MDB"), "hauptdatenbank");
        } else {
            EXPECT_EQ(inst.archiveBytes(), found);
            EXPECT_FALSE(inst.box.exists("DATEN/ORVEN.MDB"));
        }
    }
}

} // namespace
} // namespace orv

namespace orv {
namespace {

const std::string kUnsignedNote = "Die Update-Datei orvupd.zip ist nicht vom Hersteller "
                                  "signiert.\r\n\r\nDas Update wurde nicht installiert.";
const std::string kWrongSignatureNote =
    "Die Update-Datei orvupd.zip ist nicht vom Hersteller signiert oder wurde verändert.\r\n\r\n"
    "Das Update wurde nicht installiert.";
const std::string kReportThree =
    "ORVEN-Update ordnungsgemäß installiert.\r\n\r\nEs wurden 3 Dateien kopiert.";
constexpr const char* kKey = "ORVEN32/UPDATE/orvupd.pub";
constexpr const char* kSignature = "ORVEN32/update/orvupd.zip.minisig";

// What becomes of the archive, its signature or the installed key after the vendor signed.
enum class Afterwards {
    Nothing,
    OneByteChanged,
    SignatureEmpty,
    SignatureCut,
    CommentChanged,
    KeyDamaged,
    CrlfLineEnds, // key and signature copied through a tool that writes Windows line ends
};

TEST(Signature, InstallsOnlyWhatTheInstalledKeySigned) {
    if (!testing::Minisign::Available()) GTEST_SKIP() << "minisign is not installed";
    struct SignatureCase {
        const char* name;
        bool keyInstalled;
        const char* signedBy; // "vendor", "other", nullptr: not signed
        bool legacy;
        Afterwards afterwards;
        const std::string* note; // nullptr: installed as without a key
        const char* logLine;
    };
    const SignatureCase kCases[] = {
        {"signed by the vendor", true, "vendor", false, Afterwards::Nothing, nullptr, ": gültig"},
        {"signed in minisign's legacy form", true, "vendor", true, Afterwards::Nothing, nullptr,
         ": gültig"},
        {"no key installed, not signed", false, nullptr, false, Afterwards::Nothing, nullptr,
         "Signatur nicht geprüft: kein öffentlicher Schlüssel C:\\ORVEN32\\UPDATE\\orvupd.pub"},
        {"not signed", true, nullptr, false, Afterwards::Nothing, &kUnsignedNote,
         ": keine Signaturdatei"},
        {"one byte changed after signing", true, "vendor", false, Afterwards::OneByteChanged,
         &kWrongSignatureNote, ": das Archiv wurde nach dem Signieren verändert"},
        {"one byte changed after a legacy signature", true, "vendor", true,
         Afterwards::OneByteChanged, &kWrongSignatureNote, "verändert"},
        {"signed by another key", true, "other", false, Afterwards::Nothing, &kWrongSignatureNote,
         ": signiert mit einem anderen Schlüssel"},
        {"empty signature file", true, "vendor", false, Afterwards::SignatureEmpty,
         &kWrongSignatureNote, ": die Signaturdatei ist leer"},
        {"signature file cut short", true, "vendor", false, Afterwards::SignatureCut,
         &kWrongSignatureNote, ": die Signaturdatei ist leer, abgeschnitten"},
        {"trusted comment changed", true, "vendor", false, Afterwards::CommentChanged,
         &kWrongSignatureNote, ": der vertrauenswürdige Kommentar wurde"},
        {"key and signature with Windows line ends", true, "vendor", false,
         Afterwards::CrlfLineEnds, nullptr, ": gültig"},
        {"installed key damaged", true, "vendor", false, Afterwards::KeyDamaged,
         &kWrongSignatureNote, "orvupd.pub: der öffentliche Schlüssel ist nicht im Format"},
    };
    for (const SignatureCase& c : kCases) {
        SCOPED_TRACE(c.name);
        testing::Installation inst;
        testing::Minisign minisign;
        const std::string vendorKey = minisign.makeKey("vendor");
        minisign.makeKey("other");
        if (c.keyInstalled) inst.box.writeFile(kKey, vendorKey);
        inst.writeArchive(kGoodArchive);
        if (c.signedBy) minisign.sign(c.signedBy, inst.file(Installation::kArchive), c.legacy);
        std::string archive = inst.archiveBytes();
        switch (c.afterwards) {
        case Afterwards::Nothing:
            break;
        case Afterwards::OneByteChanged:
            archive[archive.size() / 2] ^= 0x01;
            inst.box.writeFile(Installation::kArchive, archive);
            break;
        case Afterwards::SignatureEmpty:
            inst.box.writeFile(kSignature, "");
            break;
        case Afterwards::SignatureCut: {
            const std::string signature = inst.box.readFile(kSignature);
            inst.box.writeFile(kSignature, signature.substr(0, signature.size() - 30));
            break;
        }
        case Afterwards::KeyDamaged:
            inst.box.writeFile(kKey, vendorKey.substr(0, vendorKey.size() - 10));
            break;
        case Afterwards::CrlfLineEnds:
            for (const char* file : {kKey, kSignature}) {
                const std::string text = inst.box.readFile(file);
                std::string windows;
                for (const char ch : text)
                    windows += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
                inst.box.writeFile(file, windows);
            }
            break;
        case Afterwards::CommentChanged: {
            std::string signature = inst.box.readFile(kSignature);
            signature.replace(signature.find("timestamp:") + 10, 1, "9");
            inst.box.writeFile(kSignature, signature);
            break;
        }
        }
        const auto before = inst.box.snapshot();
        inst.run();

        EXPECT_EQ(inst.os.launcher.launches, std::vector<std::string>{kApplication});
        EXPECT_FALSE(inst.os.start.state().loaded);
        EXPECT_FALSE(inst.backupExists());
        EXPECT_EQ(inst.archiveBytes(), archive);
        const std::string log = inst.box.readFile(Installation::kLog);
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        if (c.keyInstalled && c.afterwards != Afterwards::KeyDamaged) {
            // The key id as minisign names it in the key's comment.
            const std::size_t at = vendorKey.find("public key ") + 11;
            const std::string id = vendorKey.substr(at, vendorKey.find('\n') - at);
            EXPECT_NE(log.find("Signatur geprüft mit Schlüssel " + id + ": "), std::string::npos)
                << log;
        }
        if (c.note) {
            ExpectBoxes(inst, {{*c.note, "Fehler beim Update", 16}});
            // Nothing installed, nothing left behind: only the run's log is new.
            auto after = inst.box.snapshot();
            std::erase_if(after, [](const auto& f) { return Installation::IsRunLog(f.first); });
            EXPECT_EQ(after, before);
        } else {
            ASSERT_EQ(inst.os.boxes.size(), 2u) << ::testing::PrintToString(inst.boxTexts());
            EXPECT_EQ(inst.os.boxes[1].title, "ORV-Update installieren");
            EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), "neu");
        }
    }
}

// Another program that wants to write the archive while its backup is being made: refused when
// the archive was checked, so that the backup and the installation get the bytes checked.
TEST(Signature, HoldsTheCheckedArchiveAgainstWritingUntilItsBackupIsMade) {
    if (!testing::Minisign::Available()) GTEST_SKIP() << "minisign is not installed";
    for (const bool keyInstalled : {true, false}) {
        SCOPED_TRACE(keyInstalled ? "checked" : "no key");
        testing::Installation inst;
        testing::Minisign minisign;
        if (keyInstalled) inst.box.writeFile(kKey, minisign.makeKey("vendor"));
        inst.writeArchive(kGoodArchive);
        if (keyInstalled) minisign.sign("vendor", inst.file(Installation::kArchive));
        posix::PosixFileSystem other;
        const auto writable = [&other, &inst] {
            try {
                other.openForUpdate(inst.file(Installation::kArchive));
                return true;
            } catch (const RuntimeError& error) {
                EXPECT_EQ(error.number(), err::kPermissionDenied);
                return false;
            }
        };
        bool writableAtBackup = true;
        inst.os.faulty.throwAt(FileOp::Copy, 1, [&] { writableAtBackup = writable(); });
        inst.run();
        EXPECT_EQ(writableAtBackup, !keyInstalled);
        EXPECT_TRUE(writable()); // let go with the run
    }
}

TEST(Signature, ANewKeyInAnArchiveSignedByTheOldOneChecksTheNextUpdate) {
    if (!testing::Minisign::Available()) GTEST_SKIP() << "minisign is not installed";
    testing::Installation inst;
    testing::Minisign minisign;
    const std::string oldKey = minisign.makeKey("old");
    const std::string newKey = minisign.makeKey("new");
    inst.box.writeFile(kKey, oldKey);
    const auto deliver = [&](const char* version, const char* signedBy) {
        inst.writeArchive({{"orvupd.txt", std::string(version) + "\r\n"},
                           {"UPDATE/orvupd.pub", newKey},
                           {"liesmich.txt", version}});
        minisign.sign(signedBy, inst.file(Installation::kArchive));
        inst.os.boxes.clear();
        inst.run();
        return inst.os.boxes.empty() ? std::string() : inst.os.boxes.back().text;
    };

    EXPECT_EQ(deliver("15.03.2019 3.1", "old"), kReportThree);
    EXPECT_EQ(inst.box.readFile(kKey), newKey);
    // The old key signs no more.
    EXPECT_EQ(deliver("20.05.2019 3.2", "old"), kWrongSignatureNote);
    EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), "15.03.2019 3.1");
    EXPECT_EQ(deliver("20.05.2019 3.2", "new"), kReportThree);
    EXPECT_EQ(inst.box.readFile("ORVEN32/liesmich.txt"), "20.05.2019 3.2");
}

} // namespace
} // namespace orv
