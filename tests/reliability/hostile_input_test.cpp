// Whole runs fed with archives, version files, command lines and INI files that are broken or
// made to harm: each run ends through its exit with the updater's own German messages, puts
// the archive back, and writes nothing but where an update belongs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "reliability/update_scenario.h"
#include "support/sandbox.h"
#include "update/main.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using testing::Box;
using testing::Installation;
using testing::ZipEntry;

const std::string kInstalledIni = "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\VW\r\nPfad3=\r\n";

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

bool EndsWithNoCase(std::string text, const std::string& end) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The description after "Fehler = " when the box reports a failure; none for other boxes.
std::optional<std::string> FailureDescription(const Box& box) {
    const std::string marker = "Fehler = ";
    if (box.title != "Fehler") return std::nullopt;
    const std::size_t at = box.text.rfind(marker);
    if (at == std::string::npos) return std::string();
    std::string description = box.text.substr(at + marker.size());
    while (!description.empty() && description.front() == ' ')
        description.erase(0, 1);
    return description;
}

// The titles of every box that a run may show; a failure must say what failed in German.
std::vector<std::string> BoxProblems(const std::vector<Box>& boxes) {
    const std::vector<std::string> titles{"Fehler",
                                          "ORVEN-Update 3.0.0",
                                          "ORV-Update installieren",
                                          "ORVEN-Update installieren",
                                          "Fehler beim Update",
                                          "ORV-Update abbrechen",
                                          "Datei nicht vorhanden",
                                          "ORVEN geöffnet"};
    std::vector<std::string> problems;
    for (const Box& box : boxes) {
        if (std::find(titles.begin(), titles.end(), box.title) == titles.end()) {
            problems.push_back("unexpected box \"" + box.title + "\"");
        }
        const auto description = FailureDescription(box);
        if (description && (description->empty() ||
                            *description == ErrorText(999) /* the text without a meaning */)) {
            problems.push_back("a failure without a clear text: " + box.text);
        }
    }
    return problems;
}

// An installation inside a folder of its own, so that whatever a run writes outside the
// installation's drive can be seen.
class Fenced {
  public:
    Fenced() {
        const char* previous = std::getenv("TMPDIR");
        if (previous != nullptr) previousTmp_ = previous;
        ::setenv("TMPDIR", outside_.root().c_str(), 1);
        inst_.emplace();
        if (previousTmp_) {
            ::setenv("TMPDIR", previousTmp_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    Installation& inst() { return *inst_; }

    // The whole run's checks, given the archive bytes as delivered; empty when all is well.
    std::vector<std::string> runAndCheck(const std::string& delivered,
                                         const std::vector<std::string>& extraPlaces = {}) {
        const auto before = testing::FilesBelow(inst_->box.root());
        inst_->run();
        std::vector<std::string> problems = BoxProblems(inst_->os.boxes);
        const auto& os = inst_->os;
        if (os.start.state().loaded) problems.push_back("the status window is still loaded");
        const bool iniRefused =
            !os.boxes.empty() && StartsWith(os.boxes.back().text, "ORVEN32.INI ist weder");
        const std::size_t launches = iniRefused || os.commandLineText.empty() ? 0 : 1;
        if (os.launcher.launches.size() != launches) problems.push_back("wrong number of starts");

        const fs::path inner = fs::relative(inst_->box.root(), outside_.root());
        for (const auto& entry : fs::recursive_directory_iterator(outside_.root())) {
            const fs::path relative = fs::relative(entry.path(), outside_.root());
            if (*relative.begin() != *inner.begin()) {
                problems.push_back("written outside the drive: " + relative.generic_string());
            }
        }
        for (const auto& [path, contents] : testing::FilesBelow(inst_->box.root())) {
            if (path == Installation::kArchive) {
                if (contents != delivered) problems.push_back("the archive is not as delivered");
                continue;
            }
            const auto was = before.find(path);
            if (was != before.end() && was->second == contents) continue;
            const bool expected =
                StartsWith(path, "ORVEN32/") || StartsWith(path, "DATEN/") ||
                EndsWithNoCase(path, ".dll") || EndsWithNoCase(path, ".ocx") ||
                std::any_of(extraPlaces.begin(), extraPlaces.end(),
                            [&path](const std::string& place) { return StartsWith(path, place); });
            if (!expected) problems.push_back("written where no update belongs: " + path);
            if (contents == "evil\n") problems.push_back("a refused entry was written: " + path);
            if (path == Installation::kBackup) problems.push_back("the backup is left");
        }
        return problems;
    }

  private:
    testing::Sandbox outside_;
    std::optional<std::string> previousTmp_;
    std::optional<Installation> inst_;
};

std::vector<fs::path> ArchivesIn(const fs::path& folder) {
    std::vector<fs::path> archives;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name == "LICENSE" || StartsWith(name, "MANIFEST")) continue;
        archives.push_back(entry.path());
    }
    std::sort(archives.begin(), archives.end());
    return archives;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a whole update with the given bytes as the delivered archive.
std::vector<std::string> RunWithArchive(const std::string& bytes) {
    Fenced fenced;
    fenced.inst().box.writeFile(Installation::kArchive, bytes);
    return fenced.runAndCheck(bytes);
}

TEST(HostileInput, EveryCorpusArchiveAsTheUpdate) {
    const fs::path corpus{ORV_CORPUS_DIR};
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    std::size_t runs = 0;
    for (const fs::path& archive : ArchivesIn(corpus)) {
        EXPECT_EQ(testing::Joined(RunWithArchive(ReadBytes(archive))), "") << archive;
        ++runs;
    }
    EXPECT_GT(runs, 0u);
}

TEST(HostileInput, HostileArchivesAsTheUpdate) {
    testing::Sandbox made;
    const std::string command =
        "python3 '" + std::string(ORV_HOSTILE_ARCHIVE_SCRIPT) + "' '" + made.root() + "'";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "the archives could not be made";
    std::size_t runs = 0;
    for (const fs::path& archive : ArchivesIn(made.root())) {
        if (archive.extension() != ".zip") continue;
        const std::string bytes = ReadBytes(archive);
        EXPECT_EQ(testing::Joined(RunWithArchive(bytes)), "") << archive.filename();
        ++runs;
    }
    EXPECT_GT(runs, 10u);
}

TEST(HostileInput, BrokenArchiveFiles) {
    Installation probe;
    probe.writeArchive({{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"liesmich.txt", "neu"}});
    const std::string whole = probe.archiveBytes();
    const std::pair<const char*, std::string> cases[] = {
        {"zero length", ""},
        {"cut in the middle", whole.substr(0, whole.size() / 2)},
        {"cut before its directory end", whole.substr(0, whole.size() - 5)},
        {"the first bytes only", whole.substr(0, 4)},
        {"text", "dies ist kein Archiv\r\n"},
        {"garbage before the archive", std::string(1000, 'x') + whole},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(testing::Joined(RunWithArchive(bytes)), "") << what;
    }
}

TEST(HostileInput, AnArchiveThatIsAFolder) {
    Fenced fenced;
    fenced.inst().box.writeFile("ORVEN32/update/orvupd.zip/inhalt.txt", "kein Archiv");
    fenced.inst().run();
    const auto& boxes = fenced.inst().os.boxes;
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(testing::Joined(BoxProblems(boxes)), "");
    EXPECT_FALSE(fenced.inst().os.start.state().loaded);
    EXPECT_EQ(fenced.inst().box.readFile("ORVEN32/update/orvupd.zip/inhalt.txt"), "kein Archiv");
    EXPECT_FALSE(fenced.inst().box.exists(Installation::kBackup));
}

TEST(HostileInput, StrangeVersionFiles) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"binary", std::string("\0\x01\xff\xfe\x80PK\x03\x04", 10)},
        {"without a line break", "15.03.2019 3.1"},
        {"a megabyte long", "15.03.2019 " + std::string(1 << 20, '9')},
        {"a line break only", "\r\n"},
        {"no date", "Version drei\r\n"},
    };
    for (const auto& [what, versionFile] : cases) {
        Fenced fenced;
        fenced.inst().writeArchive({{"orvupd.txt", versionFile}, {"liesmich.txt", "neu"}});
        const std::string delivered = fenced.inst().archiveBytes();
        EXPECT_EQ(testing::Joined(fenced.runAndCheck(delivered)), "") << what;
        EXPECT_EQ(fenced.inst().box.readFile("ORVEN32/liesmich.txt"),
                  versionFile.empty() ? "" : "neu")
            << what;
    }
}

TEST(HostileInput, StrangeCommandLines) {
    const std::pair<const char*, std::string> cases[] = {
        {"ten kilobytes", "01.02.2019 " + std::string(10240, 'x')},
        {"one character", "1"},
        {"not ASCII", "01.02.2019 Müller"},
        {"control characters", std::string("01.02.2019\t\x01\x7f", 13)},
        {"blanks only", "   "},
    };
    for (const auto& [what, commandLine] : cases) {
        Fenced fenced;
        fenced.inst().os.commandLineText = commandLine;
        fenced.inst().writeArchive({{"orvupd.txt", "15.03.2019 3.1\r\n"}, {"liesmich.txt", "neu"}});
        const std::string delivered = fenced.inst().archiveBytes();
        EXPECT_EQ(testing::Joined(fenced.runAndCheck(delivered)), "") << what;
        EXPECT_EQ(fenced.inst().box.readFile("ORVEN32/liesmich.txt"), "neu") << what;
        EXPECT_EQ(fenced.inst().os.launcher.launches.size(), 1u) << what;
    }
}

TEST(HostileInput, StrangeIniFiles) {
    const std::string longName(100 * 1024, 'D');
    struct Case {
        const char* what;
        std::string ini;
        const char* databaseAt; // where ORVEN.MDB lands, relative to drive C:
        const char* extraPlace;
    };
    const Case cases[] = {
        {"a huge value", "[ORVEN]\r\nPfad1=C:\\" + longName + "\r\n", nullptr, "DDD"},
        {"binary values", std::string("[ORVEN]\r\nPfad1=C:\\D\x01\xff\x80N\r\nPfad2=\0\0\r\n", 35),
         nullptr, "D"},
        {"quoted values", "[ORVEN]\r\nPfad1=\"C:\\DATEN\"\r\nPfad2='C:\\DATEN\\VW'\r\n",
         "DATEN/ORVEN.MDB", nullptr},
        {"no section", "Pfad1=C:\\ANDERS\r\n", "ORVEN32/orv/ORVEN.MDB", nullptr},
        {"another section only", "[ANDERS]\r\nPfad1=C:\\ANDERS\r\n", "ORVEN32/orv/ORVEN.MDB",
         nullptr},
        {"keys twice", "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad1=C:\\ANDERS\r\n", "DATEN/ORVEN.MDB",
         nullptr},
        {"section twice", "[ORVEN]\r\nPfad1=C:\\DATEN\r\n[ORVEN]\r\nPfad1=C:\\ANDERS\r\n",
         "DATEN/ORVEN.MDB", nullptr},
        {"empty", "", "ORVEN32/orv/ORVEN.MDB", nullptr},
        {"a value with a traversal", "[ORVEN]\r\nPfad1=C:\\DATEN\\..\\DATEN\r\n", "DATEN/ORVEN.MDB",
         nullptr},
    };
    for (const Case& c : cases) {
        Fenced fenced;
        fenced.inst().box.writeFile("ORVEN32/orv/orven32.ini", c.ini);
        fenced.inst().writeArchive({{"orvupd.txt", "15.03.2019 3.1\r\n"},
                                    {"ORVEN.MDB", "hauptdatenbank"},
                                    {"liesmich.txt", "neu"}});
        const std::string delivered = fenced.inst().archiveBytes();
        std::vector<std::string> places;
        if (c.extraPlace != nullptr) places.emplace_back(c.extraPlace);
        EXPECT_EQ(testing::Joined(fenced.runAndCheck(delivered, places)), "") << c.what;
        if (c.databaseAt != nullptr) {
            EXPECT_EQ(fenced.inst().box.readFile(c.databaseAt), "hauptdatenbank") << c.what;
        }
    }
}

} // namespace
} // namespace orv
