#include "contract/file_system_contract.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string_view>

#include "platform/patient_file_system.h"
#include "platform/run_log.h"
#include "platform/runtime_error.h"

namespace orv::contract {

void PrintTo(const ContractPlatform& platform, std::ostream* out) {
    *out << platform.name;
}

std::string PlatformName(const ::testing::TestParamInfo<ContractPlatform>& info) {
    return info.param.name;
}

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

void FileSystemContract::SetUp() {
    const std::string_view test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string_view name = test.substr(0, test.find('/'));
    for (const KnownBreak& known : GetParam().breaks) {
        if (known.test == name) GTEST_SKIP() << known.reason;
    }
    startAfresh();
}

void FileSystemContract::startAfresh() {
    scratch_.reset();
    scratch_ = GetParam().make();
}

std::string FileSystemContract::path(const std::string& relative) const {
    return relative.empty() ? folder() : folder() + "\\" + relative;
}

void FileSystemContract::write(const std::string& relative, const std::string& bytes,
                               std::int64_t unixSeconds) {
    const auto out = files().createFile(path(relative));
    out->write(bytes.data(), bytes.size());
    if (unixSeconds != 0) out->setModificationTime(unixSeconds);
    out->close();
}

std::string FileSystemContract::read(const std::string& relative) {
    const auto in = files().openForReading(path(relative));
    std::string bytes(static_cast<std::size_t>(in->size()), '\0');
    in->readAt(0, bytes.data(), bytes.size());
    return bytes;
}

FileTime FileSystemContract::timeOf(const std::string& relative) {
    return files().modificationTime(path(relative));
}

std::vector<std::string> FileSystemContract::namesIn(const std::string& relative) {
    std::vector<std::string> names = files().folderNames(path(relative));
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

using Names = std::vector<std::string>;

// 15.03.2019 12:00 UTC and a day later.
constexpr std::int64_t kMarch15 = 1'552'651'200;
constexpr std::int64_t kMarch16 = kMarch15 + 86'400;

// A missing folder on the way: Windows reports the path as not found (76), the Linux front
// end the file (53), as FileSystem::probeReplace allows.
constexpr int kMissingPath = -1;

bool Matches(int number, int expected) {
    if (expected == kMissingPath)
        return number == err::kFileNotFound || number == err::kPathNotFound;
    return number == expected;
}

// Whether a case goes through the file system's paths or through a folder it opened.
enum class Through { Paths, Folder };

const char* NameOf(Through through) {
    return through == Through::Paths ? "paths" : "folder";
}

// ---- Creating files ---------------------------------------------------------------------------

TEST_P(FileSystemContract, CreateNewRefusesAnExistingNameAndLeavesItAlone) {
    struct Case {
        Through through;
        const char* name;
        int number;
    };
    const Case cases[] = {
        {Through::Paths, "neu.txt", 0},
        {Through::Paths, "alt.txt", err::kFileExists},
        {Through::Paths, "ALT.TXT", err::kFileExists}, // paths are compared without case
        {Through::Paths, "Hilfe", err::kFileExists},
        {Through::Folder, "neu.txt", 0},
        {Through::Folder, "alt.txt", err::kFileExists},
        {Through::Folder, "Hilfe", err::kFileExists},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.through)) + ": " + c.name);
        startAfresh();
        write("alt.txt", "alt", kMarch15);
        files().createDirectory(path("Hilfe"));
        const FileTime oldTime = timeOf("alt.txt");

        EXPECT_EQ(ErrorOf([&] {
                      const auto out = c.through == Through::Paths
                                           ? files().createNewFile(path(c.name))
                                           : files().openFolder(folder())->createNew(c.name);
                      out->write("neu", 3);
                      out->close();
                  }),
                  c.number);

        EXPECT_EQ(read("alt.txt"), "alt");
        EXPECT_EQ(timeOf("alt.txt"), oldTime);
        EXPECT_TRUE(files().directoryExists(path("Hilfe")));
        EXPECT_EQ(namesIn(), c.number == 0 ? (Names{"Hilfe", "alt.txt", "neu.txt"})
                                           : (Names{"Hilfe", "alt.txt"}));
        if (c.number == 0) {
            EXPECT_EQ(read("neu.txt"), "neu");
        }
    }
}

TEST_P(FileSystemContract, CreateFileEmptiesAnExistingFile) {
    write("orven.chm", "eine alte, lange Hilfe");
    files().createFile(path("ORVEN.CHM"))->close();
    EXPECT_EQ(read("orven.chm"), "");
    EXPECT_EQ(namesIn().size(), 1u) << "the file spelt otherwise is the same file";

    EXPECT_PRED2(Matches, ErrorOf([&] { files().createFile(path("fehlt\\neu.txt")); }),
                 kMissingPath);
    EXPECT_PRED2(Matches, ErrorOf([&] { files().createNewFile(path("fehlt\\neu.txt")); }),
                 kMissingPath);
    EXPECT_FALSE(files().directoryExists(path("fehlt")));
}

TEST_P(FileSystemContract, OutputFileKeepsWhatWasWritten) {
    const std::string big(100'000, 'z');
    auto out = files().createFile(path("neu.tmp"));
    out->write("Hallo ", 6);
    out->write(big.data(), big.size());
    out->setModificationTime(kMarch15);
    out->close();
    out->close(); // closed already: nothing happens
    EXPECT_EQ(read("neu.tmp"), "Hallo " + big);
    EXPECT_EQ(ErrorOf([&] { out->write("x", 1); }), err::kPathFileAccess);
    EXPECT_EQ(ErrorOf([&] { out->setModificationTime(kMarch16); }), err::kPathFileAccess);
    write("gleich.tmp", "", kMarch15);
    EXPECT_EQ(timeOf("neu.tmp"), timeOf("gleich.tmp"));

    // A file destroyed without close() is closed and left as it is.
    files().createFile(path("halb.tmp"))->write("halb", 4);
    EXPECT_EQ(read("halb.tmp"), "halb");
}

// The time given is the time read back: equal seconds give equal times, others differ.
TEST_P(FileSystemContract, ModificationTimeIsTheTimeGiven) {
    struct Case {
        std::int64_t first;
        std::int64_t second;
        bool same;
    };
    const Case cases[] = {
        {kMarch15, kMarch15, true},
        {kMarch15, kMarch15 + 1, false},
        {kMarch15, kMarch16, false},
        {315'532'800, 315'532'800, true},            // 1980, the oldest a FAT volume keeps
        {2'147'483'647, 2'147'483'648, false},       // across 2038
        {kMarch15 + 4'294'967'296, kMarch15, false}, // 2155: not cut to 32 bits
        {4'102'444'800, 4'102'444'800, true},        // 2100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(c.second));
        write("a.txt", "a", c.first);
        write("b.txt", "b", c.second);
        EXPECT_EQ(timeOf("a.txt") == timeOf("b.txt"), c.same);
        files().copyFile(path("a.txt"), path("kopie.txt"));
        EXPECT_EQ(timeOf("kopie.txt"), timeOf("a.txt"));
    }
}

// ---- Folders ----------------------------------------------------------------------------------

TEST_P(FileSystemContract, NamesListFilesAndFoldersOnce) {
    write("a.txt", "a");
    write("Zwei.TXT", "");
    write("Größe.txt", "");
    files().createDirectory(path("Hilfe"));
    write("Hilfe\\index.htm", "");
    files().createDirectory(path("Leer"));
    const Names expected = {"Größe.txt", "Hilfe", "Leer", "Zwei.TXT", "a.txt"};
    EXPECT_EQ(namesIn(), expected);
    EXPECT_EQ(namesIn("Leer"), Names{});

    const auto opened = files().openFolder(folder());
    for (int time = 0; time < 2; ++time) { // each call reads the folder from its start
        Names names = opened->names();
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected);
    }
    EXPECT_EQ(files().openFolder(path("leer"))->names(), Names{});

    // What changes through the opened folder is what it lists next.
    opened->createNew("neu.txt")->close();
    opened->remove("a.txt");
    Names names = opened->names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"Größe.txt", "Hilfe", "Leer", "Zwei.TXT", "neu.txt"}));
    EXPECT_EQ(namesIn(), names);

    EXPECT_NE(ErrorOf([&] { files().folderNames(path("fehlt")); }), 0);
}

TEST_P(FileSystemContract, OpeningAFolderThatIsNoneRaises76) {
    write("datei.txt", "x");
    for (const char* missing : {"fehlt", "fehlt\\auch", "datei.txt"}) {
        EXPECT_EQ(ErrorOf([&] { files().openFolder(path(missing)); }), err::kPathNotFound)
            << missing;
    }
}

TEST_P(FileSystemContract, CreateDirectoryNeedsItsParent) {
    struct Case {
        const char* path;
        int number;
        bool exists; // afterwards
    };
    const Case cases[] = {
        {"Neu", 0, true},
        {"Hilfe", 0, true}, // exists already: no error
        {"HILFE", 0, true}, // the same, spelt otherwise
        {"Hilfe\\Neu", 0, true},
        {"fehlt\\neu", err::kPathNotFound, false},
        {"datei.txt", err::kPathFileAccess, false},
        {"datei.txt\\neu", err::kPathNotFound, false},
    };
    write("datei.txt", "x");
    files().createDirectory(path("Hilfe"));
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf([&] { files().createDirectory(path(c.path)); }), c.number) << c.path;
        EXPECT_EQ(files().directoryExists(path(c.path)), c.exists) << c.path;
    }
    EXPECT_FALSE(files().directoryExists(path("fehlt")));
    EXPECT_EQ(read("datei.txt"), "x");
    EXPECT_EQ(namesIn(), (Names{"Hilfe", "Neu", "datei.txt"}));
}

TEST_P(FileSystemContract, ExistenceTellsFilesFromFolders) {
    struct Case {
        const char* path;
        bool file;
        bool directory;
    };
    const Case cases[] = {
        {"orv\\orven32.exe", true, false},
        {"ORV\\ORVEN32.EXE", true, false},
        {"orv", false, true},
        {"ORV", false, true},
        {"orv\\fehlt", false, false},
        {"fehlt\\orven32.exe", false, false},
        {"orv\\orven32.exe\\x", false, false},
    };
    files().createDirectory(path("orv"));
    write("orv\\orven32.exe", "MZ");
    for (const Case& c : cases) {
        EXPECT_EQ(files().fileExists(path(c.path)), c.file) << c.path;
        EXPECT_EQ(files().directoryExists(path(c.path)), c.directory) << c.path;
    }
}

// ---- Moving, keeping, removing ----------------------------------------------------------------

TEST_P(FileSystemContract, ReplaceMovesOverTheTargetInOneStep) {
    struct Case {
        Through through;
        const char* target;
        bool targetExists;
    };
    const Case cases[] = {
        {Through::Paths, "orven.chm", true},
        {Through::Paths, "ORVEN.CHM", true}, // the existing file spelt otherwise
        {Through::Paths, "orven.chm", false},
        {Through::Folder, "orven.chm", true},
        {Through::Folder, "orven.chm", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.through)) + ": " + c.target +
                     (c.targetExists ? " over an old one" : " new"));
        startAfresh();
        const std::string big(70'000, 'n');
        write("neu.tmp", big);
        if (c.targetExists) write("orven.chm", "eine alte, lange Hilfe");
        if (c.through == Through::Paths) {
            files().replaceFile(path("neu.tmp"), path(c.target));
        } else {
            files().openFolder(folder())->replace("neu.tmp", c.target);
        }
        EXPECT_EQ(read("orven.chm"), big);
        EXPECT_FALSE(files().fileExists(path("neu.tmp")));
        EXPECT_EQ(namesIn().size(), 1u);
    }
}

TEST_P(FileSystemContract, ReplaceOfAMissingFileLeavesTheTargetAlone) {
    write("orven.chm", "alt");
    EXPECT_EQ(ErrorOf([&] { files().replaceFile(path("fehlt.tmp"), path("orven.chm")); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { files().openFolder(folder())->replace("fehlt.tmp", "orven.chm"); }),
              err::kFileNotFound);
    EXPECT_EQ(read("orven.chm"), "alt");
}

// The updater keeps an old file under a second name while it puts the new one in its place.
TEST_P(FileSystemContract, KeepAsGivesASecondNameAndLeavesTheFileAlone) {
    for (const Through through : {Through::Paths, Through::Folder}) {
        SCOPED_TRACE(NameOf(through));
        startAfresh();
        write("orven32.exe", "MZ alt", kMarch15);
        const FileTime time = timeOf("orven32.exe");
        const auto keep = [&] {
            if (through == Through::Paths) {
                files().keepAs(path("orven32.exe"), path("orven32.exe.alt"));
            } else {
                files().openFolder(folder())->keepAs("orven32.exe", "orven32.exe.alt");
            }
        };
        keep();
        EXPECT_EQ(read("orven32.exe"), "MZ alt");
        EXPECT_EQ(timeOf("orven32.exe"), time);
        EXPECT_EQ(read("orven32.exe.alt"), "MZ alt");
        EXPECT_EQ(timeOf("orven32.exe.alt"), time);

        // The new file in the old one's place leaves the kept name as it was.
        write("neu.tmp", "MZ neu");
        files().replaceFile(path("neu.tmp"), path("orven32.exe"));
        EXPECT_EQ(read("orven32.exe"), "MZ neu");
        EXPECT_EQ(read("orven32.exe.alt"), "MZ alt");

        // A second name that is taken stays as it is.
        EXPECT_EQ(ErrorOf(keep), err::kPathFileAccess);
        EXPECT_EQ(read("orven32.exe.alt"), "MZ alt");
    }
    EXPECT_EQ(ErrorOf([&] { files().keepAs(path("fehlt.exe"), path("fehlt.alt")); }),
              err::kFileNotFound);
    EXPECT_FALSE(files().fileExists(path("fehlt.alt")));
}

// A read-only file is replaced once its mark is cleared; the second name that keeps the old
// file is read-only too, and goes once its own mark is cleared.
TEST_P(FileSystemContract, ReadOnlyFilesAreReplacedOnceTheirMarkIsCleared) {
    for (const Through through : {Through::Paths, Through::Folder}) {
        SCOPED_TRACE(NameOf(through));
        startAfresh();
        const auto opened = files().openFolder(folder());
        const auto isReadOnly = [&](const char* name) {
            return through == Through::Paths ? files().readOnly(path(name))
                                             : opened->readOnly(name);
        };
        const auto mark = [&](const char* name, bool readOnly) {
            if (through == Through::Paths) {
                files().setReadOnly(path(name), readOnly);
            } else {
                opened->setReadOnly(name, readOnly);
            }
        };
        write("ORVEN.MDB", "alt");
        EXPECT_FALSE(isReadOnly("ORVEN.MDB"));
        mark("ORVEN.MDB", true);
        mark("ORVEN.MDB", true); // marked already: nothing changes
        EXPECT_TRUE(isReadOnly("ORVEN.MDB"));
        EXPECT_EQ(read("ORVEN.MDB"), "alt");

        files().keepAs(path("ORVEN.MDB"), path("ORVEN.MDB.alt"));
        EXPECT_TRUE(isReadOnly("ORVEN.MDB.alt"));
        mark("ORVEN.MDB", false);
        EXPECT_FALSE(isReadOnly("ORVEN.MDB"));
        write("neu.tmp", "neu");
        files().replaceFile(path("neu.tmp"), path("ORVEN.MDB"));
        EXPECT_EQ(read("ORVEN.MDB"), "neu");
        EXPECT_FALSE(isReadOnly("ORVEN.MDB"));

        mark("ORVEN.MDB.alt", false);
        opened->remove("ORVEN.MDB.alt");
        EXPECT_EQ(namesIn(), Names{"ORVEN.MDB"});
    }
    EXPECT_EQ(ErrorOf([&] { files().readOnly(path("fehlt.mdb")); }), err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { files().setReadOnly(path("fehlt.mdb"), true); }), err::kFileNotFound);
}

TEST_P(FileSystemContract, RemoveTakesTheFileAndRaises53ForAMissingOne) {
    struct Case {
        Through through;
        const char* name;
        int number;
    };
    const Case cases[] = {
        {Through::Paths, "alt.txt", 0},
        {Through::Paths, "ALT.TXT", 0},
        {Through::Paths, "fehlt.txt", err::kFileNotFound},
        {Through::Folder, "alt.txt", 0},
        {Through::Folder, "fehlt.txt", err::kFileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.through)) + ": " + c.name);
        write("alt.txt", "alt");
        write("bleibt.txt", "bleibt");
        EXPECT_EQ(ErrorOf([&] {
                      if (c.through == Through::Paths) {
                          files().deleteFile(path(c.name));
                      } else {
                          files().openFolder(folder())->remove(c.name);
                      }
                  }),
                  c.number);
        EXPECT_EQ(files().fileExists(path("alt.txt")), c.number != 0);
        EXPECT_EQ(read("bleibt.txt"), "bleibt");
    }
    EXPECT_PRED2(Matches, ErrorOf([&] { files().deleteFile(path("fehlt\\alt.txt")); }),
                 kMissingPath);
}

// Asking for removal at the next start removes nothing now, and is never an error.
TEST_P(FileSystemContract, RemoveAtRestartLeavesTheFileForNow) {
    write("orven32.exe.orvupd-old-1.tmp", "MZ alt");
    write("orvupd.dll.orvupd-old-2.tmp", "MZ alt");
    files().removeAtRestart(path("orven32.exe.orvupd-old-1.tmp"));
    files().openFolder(folder())->removeAtRestart("orvupd.dll.orvupd-old-2.tmp");
    EXPECT_EQ(read("orven32.exe.orvupd-old-1.tmp"), "MZ alt");
    EXPECT_EQ(read("orvupd.dll.orvupd-old-2.tmp"), "MZ alt");
}

// ---- Copying ----------------------------------------------------------------------------------

TEST_P(FileSystemContract, CopyOverwritesAndKeepsTheTime) {
    std::string contents(200'000, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 7);
    write("orvupd.zip", contents, kMarch15);
    write("orvupd.zip$$$", "eine veraltete Sicherung, länger als nichts", kMarch16);
    write("vorher.txt", "", kMarch16);

    files().copyFile(path("ORVUPD.ZIP"), path("orvupd.zip$$$"));

    EXPECT_EQ(read("orvupd.zip$$$"), contents);
    EXPECT_EQ(timeOf("orvupd.zip$$$"), timeOf("orvupd.zip"));
    EXPECT_NE(timeOf("orvupd.zip$$$"), timeOf("vorher.txt"));
    EXPECT_EQ(read("orvupd.zip"), contents);
    // Nothing of the copy remains beside it.
    EXPECT_EQ(namesIn(), (Names{"orvupd.zip", "orvupd.zip$$$", "vorher.txt"}));
}

TEST_P(FileSystemContract, FailedCopyRaisesItsNumber) {
    write("alt.txt", "alt");
    files().createDirectory(path("orv"));
    EXPECT_EQ(ErrorOf([&] { files().copyFile(path("fehlt.zip"), path("alt.txt")); }),
              err::kFileNotFound);
    EXPECT_NE(ErrorOf([&] { files().copyFile(path("orv"), path("alt.txt")); }), 0);
    EXPECT_EQ(ErrorOf([&] { files().copyFile(path("alt.txt"), path("fehlt\\neu.txt")); }),
              err::kPathNotFound);
    EXPECT_FALSE(files().directoryExists(path("fehlt")));
    EXPECT_EQ(read("alt.txt"), "alt");
}

// ---- Reading ----------------------------------------------------------------------------------

TEST_P(FileSystemContract, FirstLineEndsAtTheFirstCarriageReturnOrLineFeed) {
    struct Case {
        std::string contents;
        std::string line;
        int number;
    };
    const Case cases[] = {
        {"15.03.2025 3.1\r\n01.01.2000 1.0\r\n", "15.03.2025 3.1", 0},
        {"15.03.2025 3.1", "15.03.2025 3.1", 0},
        {"eins\nzwei", "eins", 0},
        {"eins\rzwei", "eins", 0},
        {"\r\nzwei", "", 0},
        {"\n", "", 0},
        {std::string("a\0b\n", 4), std::string("a\0b", 3), 0},
        {"Größe 3.1\r\n", "Größe 3.1", 0},
        {std::string(10'000, 'x') + "\r\nrest", std::string(10'000, 'x'), 0},
        {std::string(4096, 'y') + "\nrest", std::string(4096, 'y'), 0},
        // Cut at 64 KiB: a file without a line break is not read whole.
        {std::string(200'000, 'x'), std::string(64 * 1024, 'x'), 0},
        {"", "", err::kPastEndOfFile},
    };
    for (const Case& c : cases) {
        write("orvupd.txt", c.contents);
        std::string line;
        EXPECT_EQ(ErrorOf([&] { line = files().readFirstLine(path("ORVUPD.TXT")); }), c.number);
        EXPECT_EQ(line, c.line);
    }
}

TEST_P(FileSystemContract, ProbesAndReadsRaiseTheirNumbers) {
    struct Case {
        const char* path;
        int probe; // probeOpen and probeReplace
        int firstLine;
        int time;
    };
    const Case cases[] = {
        {"orv\\orven32.exe", 0, 0, 0},
        {"ORV\\ORVEN32.EXE", 0, 0, 0},
        {"orv\\fehlt.exe", err::kFileNotFound, err::kFileNotFound, err::kFileNotFound},
        {"fehlt\\orv\\orven32.exe", kMissingPath, kMissingPath, kMissingPath},
        {"orv\\orven32.exe\\x", err::kPathNotFound, err::kPathNotFound, err::kPathNotFound},
    };
    files().createDirectory(path("orv"));
    write("orv\\orven32.exe", "MZ\r\n", kMarch15);
    const FileTime time = timeOf("orv\\orven32.exe");
    for (const Case& c : cases) {
        EXPECT_PRED2(Matches, ErrorOf([&] { files().probeOpen(path(c.path)); }), c.probe) << c.path;
        EXPECT_PRED2(Matches, ErrorOf([&] { files().probeReplace(path(c.path)); }), c.probe)
            << c.path;
        EXPECT_PRED2(Matches, ErrorOf([&] { files().readFirstLine(path(c.path)); }), c.firstLine)
            << c.path;
        EXPECT_PRED2(Matches, ErrorOf([&] { files().modificationTime(path(c.path)); }), c.time)
            << c.path;
    }
    // A folder is no file that anyone holds, and it has a time.
    EXPECT_EQ(ErrorOf([&] { files().probeOpen(path("orv")); }), err::kPathFileAccess);
    EXPECT_EQ(ErrorOf([&] { files().modificationTime(path("orv")); }), 0);
    EXPECT_NE(ErrorOf([&] { files().readFirstLine(path("orv")); }), 0);
    // Probing changes nothing.
    EXPECT_EQ(read("orv\\orven32.exe"), "MZ\r\n");
    EXPECT_EQ(timeOf("orv\\orven32.exe"), time);
}

TEST_P(FileSystemContract, InputFileReadsExactlyWhatIsAsked) {
    write("orvupd.zip", "0123456789");
    const auto in = files().openForReading(path("ORVUPD.ZIP"));
    EXPECT_EQ(in->size(), 10u);
    struct Case {
        std::uint64_t offset;
        std::size_t size;
        std::string bytes;
        int number;
    };
    const Case cases[] = {
        {0, 10, "0123456789", 0},
        {7, 3, "789", 0},
        {3, 0, "", 0},
        {10, 0, "", 0},
        {8, 3, "", err::kPastEndOfFile},
        {20, 1, "", err::kPastEndOfFile},
    };
    for (const Case& c : cases) {
        std::string bytes(c.size, '\0');
        const int number = ErrorOf([&] { in->readAt(c.offset, bytes.data(), bytes.size()); });
        EXPECT_EQ(number, c.number) << c.offset << "+" << c.size;
        if (number == 0) {
            EXPECT_EQ(bytes, c.bytes) << c.offset << "+" << c.size;
        }
    }
    EXPECT_EQ(ErrorOf([&] { files().openForReading(path("fehlt.zip")); }), err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { files().openForUpdate(path("fehlt.zip")); }), err::kFileNotFound);
}

TEST_P(FileSystemContract, RandomAccessFileChangesTheFileInPlace) {
    write("orvupd.zip", "0123456789");
    {
        const auto file = files().openForUpdate(path("orvupd.zip"));
        EXPECT_EQ(file->size(), 10u);
        file->writeAt(2, "ab", 2);
        std::string read(4, '\0');
        file->readAt(1, read.data(), read.size());
        EXPECT_EQ(read, "1ab4");
        EXPECT_EQ(ErrorOf([&] { file->readAt(8, read.data(), read.size()); }), err::kPastEndOfFile);
        file->truncate(6);
        EXPECT_EQ(file->size(), 6u);
        file->writeAt(8, "xy", 2); // past the end: the gap is filled with zeros
        EXPECT_EQ(file->size(), 10u);
        file->close();
        EXPECT_EQ(ErrorOf([&] { file->size(); }), err::kPathFileAccess);
    }
    EXPECT_EQ(read("orvupd.zip"), std::string("01ab45\0\0xy", 10));
    {
        // Destroyed without close(): closed, and what was written stays.
        files().openForUpdate(path("orvupd.zip"))->truncate(4);
    }
    EXPECT_EQ(read("orvupd.zip"), "01ab");
}

// ---- Putting on the disk -----------------------------------------------------------------------

// A sync changes neither bytes nor times nor names; a file or folder that is missing raises the
// number that opening it raises, a file that is closed 75.
TEST_P(FileSystemContract, SyncsChangeNothingAndRaiseTheirNumbers) {
    write("orvupd.zip", "PK alt", kMarch15);
    files().createDirectory(path("update"));
    const FileTime time = timeOf("orvupd.zip");
    auto out = files().createNewFile(path("neu.tmp"));
    out->write("Hallo ", 6);
    out->startWriteBack();
    out->sync();
    out->write("Welt", 4);
    out->setModificationTime(kMarch16);
    out->sync();
    out->close();
    auto archive = files().openForUpdate(path("orvupd.zip"));
    archive->sync();
    archive->close();
    struct Case {
        const char* what;
        std::function<void()> call;
        int number;
    };
    const Case cases[] = {
        {"a file", [&] { files().syncFile(path("ORVUPD.ZIP")); }, 0},
        {"a folder", [&] { files().syncFolder(path("update")); }, 0},
        {"a folder ending in its separator", [&] { files().syncFolder(path("update\\")); }, 0},
        {"the volumes of two folders",
         [&] {
             files().syncVolumes({folder(), path("update")});
         },
         0},
        {"a missing file", [&] { files().syncFile(path("fehlt.zip")); }, err::kFileNotFound},
        {"files at once",
         [&] {
             files().syncFiles({path("ORVUPD.ZIP"), path("neu.tmp")});
         },
         0},
        {"files at once, one missing",
         [&] {
             files().syncFiles({path("orvupd.zip"), path("fehlt.zip"), path("neu.tmp")});
         },
         err::kFileNotFound},
        {"a missing folder", [&] { files().syncFolder(path("fehlt")); }, kMissingPath},
        {"a closed file", [&] { out->sync(); }, err::kPathFileAccess},
        {"a closed archive", [&] { archive->sync(); }, err::kPathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_PRED2(Matches, ErrorOf(c.call), c.number);
    }
    EXPECT_EQ(read("orvupd.zip"), "PK alt");
    EXPECT_EQ(timeOf("orvupd.zip"), time);
    EXPECT_EQ(read("neu.tmp"), "Hallo Welt");
    write("gleich.tmp", "", kMarch16);
    EXPECT_EQ(timeOf("neu.tmp"), timeOf("gleich.tmp"));
    EXPECT_EQ(namesIn(), (Names{"gleich.tmp", "neu.tmp", "orvupd.zip", "update"}));
}

// Files synced at once: each is tried once, whatever the others do, and the failure of the first
// that failed, in the order given, is what the caller learns.
TEST(SyncConcurrently, TriesEachFileOnceAndRaisesTheFirstFailure) {
    struct Case {
        const char* what;
        std::size_t files;
        std::map<std::size_t, int> failing; // the file's index, the number it raises
        int raised;
    };
    const Case cases[] = {
        {"no file", 0, {}, 0},
        {"one file", 1, {}, 0},
        {"more files than threads", 50, {}, 0},
        {"the only file fails", 1, {{0, err::kDiskFull}}, err::kDiskFull},
        {"two of many fail", 50, {{31, err::kDeviceIo}, {7, err::kDiskFull}}, err::kDiskFull},
        {"the last fails", 9, {{8, err::kPathNotFound}}, err::kPathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < c.files; ++i) {
            paths.push_back(std::to_string(i));
        }
        std::mutex mutex;
        std::map<std::string, int> tried;
        const auto syncOne = [&](const std::string& path) {
            {
                const std::lock_guard lock{mutex};
                ++tried[path];
            }
            const auto failing = c.failing.find(std::stoul(path));
            if (failing != c.failing.end()) throw RuntimeError(failing->second);
        };
        EXPECT_EQ(ErrorOf([&] { SyncConcurrently(paths, syncOne); }), c.raised);
        EXPECT_EQ(tried.size(), c.files);
        for (const auto& [path, times] : tried) {
            EXPECT_EQ(times, 1) << path;
        }
    }
}

// ---- Sharing ----------------------------------------------------------------------------------

// What a failed call says, as the updater acts on it: the number, and whether another program
// holds the file (to be waited for) or the user lacks a right (not to be waited for).
struct Refusal {
    int number = 0;
    Cause cause = Cause::Other;
    bool operator==(const Refusal&) const = default;
};

Refusal RefusalOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return {e.number(), e.cause()};
    }
    return {};
}

std::ostream& operator<<(std::ostream& out, const Refusal& refusal) {
    return out << refusal.number << "/" << static_cast<int>(refusal.cause);
}

const Refusal kHeld{err::kPermissionDenied, Cause::Held};
const Refusal kFree{};

// A file opened for reading may be read by others meanwhile, not changed: held, not denied.
TEST_P(FileSystemContract, ReadingSharesTheFileForReadingOnly) {
    write("orvupd.zip", "PK");
    const auto held = files().openForReading(path("orvupd.zip"));
    EXPECT_EQ(RefusalOf([&] { files().probeOpen(path("orvupd.zip")); }), kFree);
    EXPECT_EQ(RefusalOf([&] { files().openForReading(path("orvupd.zip")); }), kFree);
    EXPECT_EQ(RefusalOf([&] { files().openForUpdate(path("orvupd.zip")); }), kHeld);
}

// A file opened for update is shared with no one: not even a probe may open it, and every
// refusal says that another program holds it.
TEST_P(FileSystemContract, UpdatingSharesTheFileWithNoOne) {
    write("orvupd.zip", "PK");
    const auto held = files().openForUpdate(path("orvupd.zip"));
    EXPECT_EQ(RefusalOf([&] { files().probeOpen(path("orvupd.zip")); }), kHeld);
    EXPECT_EQ(RefusalOf([&] { files().probeReplace(path("orvupd.zip")); }), kHeld);
    EXPECT_EQ(RefusalOf([&] { files().openForReading(path("orvupd.zip")); }), kHeld);
    EXPECT_EQ(RefusalOf([&] { files().openForUpdate(path("orvupd.zip")); }), kHeld);
}

// What another program holds for a moment is waited for in growing pauses, up to 10 s for one
// file; what it keeps holding fails as at once, as held. The pauses pass no real time here.
TEST_P(FileSystemContract, PatientFilesWaitOutAMomentsHold) {
    struct Case {
        const char* what;
        std::function<void(FileSystem&)> call;
        int releasedAfter; // milliseconds of pauses; 0: held throughout
        int waited;
        Refusal refusal;
    };
    const Case cases[] = {
        {"opened for reading", [&](FileSystem& f) { f.openForReading(path("orvupd.zip")); }, 300,
         350, kFree},
        {"opened for update", [&](FileSystem& f) { f.openForUpdate(path("orvupd.zip")); }, 1000,
         1550, kFree},
        {"its first line", [&](FileSystem& f) { f.readFirstLine(path("orvupd.zip")); }, 50, 50,
         kFree},
        {"held throughout", [&](FileSystem& f) { f.openForUpdate(path("orvupd.zip")); }, 0, 10000,
         kHeld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startAfresh();
        write("orvupd.zip", "PK");
        std::unique_ptr<RandomAccessFile> holder = files().openForUpdate(path("orvupd.zip"));
        int paused = 0;
        RunLog log;
        PatientFileSystem patient{files(),
                                  [&](int milliseconds) {
                                      paused += milliseconds;
                                      if (c.releasedAfter > 0 && paused >= c.releasedAfter) {
                                          holder.reset();
                                      }
                                  },
                                  log};
        EXPECT_EQ(RefusalOf([&] { c.call(patient); }), c.refusal);
        EXPECT_EQ(paused, c.waited);
        EXPECT_EQ(patient.waited(), c.waited);
    }
}

// A run waits a minute at most in all: six files held throughout take it, the seventh fails at
// once.
TEST_P(FileSystemContract, PatientFilesWaitAMinuteAtMostInARun) {
    int paused = 0;
    RunLog log;
    PatientFileSystem patient{files(), [&](int milliseconds) { paused += milliseconds; }, log};
    for (const int after : {10'000, 20'000, 30'000, 40'000, 50'000, 60'000, 60'000}) {
        EXPECT_EQ(
            RefusalOf([&] { patient.patiently({path("orven.mdb")}, [] { throw HeldError(32); }); }),
            kHeld);
        EXPECT_EQ(paused, after);
    }
}

// A moment's refusal of access counts as a hold only for a file that the run has made; a file
// of anyone else that refuses access is not waited for.
TEST_P(FileSystemContract, PatientFilesWaitForNoMissingRight) {
    int paused = 0;
    RunLog log;
    PatientFileSystem patient{files(), [&](int milliseconds) { paused += milliseconds; }, log};
    EXPECT_EQ(RefusalOf([&] {
                  patient.patiently({path("fremd.mdb")}, [] {
                      throw SystemError(err::kPermissionDenied, 5, Cause::Denied);
                  });
              }),
              (Refusal{err::kPermissionDenied, Cause::Denied}));
    EXPECT_EQ(paused, 0);
    patient.createNewFile(path("neu.tmp"))->close();
    int refusals = 2;
    patient.patiently({path("NEU.TMP")}, [&refusals] {
        if (refusals-- > 0) throw SystemError(err::kPermissionDenied, 5, Cause::Denied);
    });
    EXPECT_EQ(paused, 150);
    // The new file over a running program: the program's refusal is no moment's.
    write("orven32.exe", "MZ");
    EXPECT_EQ(RefusalOf([&] {
                  patient.patiently({path("neu.tmp"), path("orven32.exe")}, [] {
                      throw SystemError(err::kPermissionDenied, 5, Cause::Denied);
                  });
              }),
              (Refusal{err::kPermissionDenied, Cause::Denied}));
    EXPECT_EQ(paused, 150);
}

// A folder where files may be made says so, and leaves nothing behind; a missing folder or a
// missing file is neither held nor denied.
TEST_P(FileSystemContract, NothingMissingIsHeldOrDenied) {
    EXPECT_EQ(RefusalOf([&] { files().probeWriteFolder(folder()); }), kFree);
    EXPECT_EQ(namesIn(), Names{});
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { files().probeWriteFolder(path("fehlt")); },
             [&] { files().probeOpen(path("fehlt.zip")); },
             [&] { files().probeReplace(path("fehlt\\fehlt.zip")); }}) {
        const Refusal refusal = RefusalOf(call);
        EXPECT_NE(refusal.number, 0);
        EXPECT_EQ(refusal.cause, Cause::Other);
    }
}

} // namespace
} // namespace orv::contract
