// Removing entries by rewriting the central directory where it stands: the archive that is
// left must be one that every reader accepts, whatever the writer's layout was.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zip.h>

#include "archive/zipkit/reduced_copy.h"
#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "test_support.h"

namespace orv::zipkit {
namespace {

using orv::testing::FaultyFileSystem;
using orv::testing::FileOp;
using testing::RecordingProgress;

constexpr const char* kArchive = "\\update\\orvupd.zip";
constexpr const char* kComment = "ORVEN Update 3.1";

// Writes an archive of some 100 KB with five entries in one of several layouts:
//   plain        deflated entries, sizes in the local headers
//   comment      the same with an archive comment
//   zip64        zip64 end records and extra fields on every entry
//   descriptors  written to a stream that cannot seek back: every entry has a data descriptor
//   infozip      Info-ZIP's zip -fd (data descriptors), when zip is installed
constexpr const char* kWriter = R"PY(
import io, os, random, subprocess, sys, zipfile
kind, out = sys.argv[1], sys.argv[2]
entries = [
    ("orvupd.txt", b"15.03.2025 3.1\r\n"),
    # Data that does not shrink: the archive is longer than the tail in which readers look for
    # its end record.
    ("ORVEN.MDB", b"Stammdaten " * 4000 + bytes(random.Random(7).getrandbits(8) for _ in range(100000))),
    ("SYSTEM/a.ocx", bytes(range(256)) * 40),
    ("SYSTEM/b.dll", b"Bibliothek\n" * 300),
    ("docs/liesmich.txt", "Neu in ORVEN: alles.\r\n".encode("utf-8")),
]
class NoSeek(io.RawIOBase):
    def __init__(self, target): self.target = target
    def writable(self): return True
    def write(self, data): return self.target.write(data)
if kind == "infozip":
    src = out + ".src"
    for name, data in entries:
        os.makedirs(os.path.dirname(os.path.join(src, name)) or src, exist_ok=True)
        open(os.path.join(src, name), "wb").write(data)
    subprocess.run(["zip", "-q", "-fd", "-X", os.path.abspath(out)] + [n for n, _ in entries],
                   cwd=src, check=True)
    sys.exit(0)
with open(out, "wb") as raw:
    target = NoSeek(raw) if kind == "descriptors" else raw
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            with archive.open(name, "w", force_zip64=(kind == "zip64")) as entry:
                entry.write(data)
        if kind == "comment":
            archive.comment = b"ORVEN Update 3.1"
if kind == "zip64":
    # zipfile writes the zip64 end records only when they are needed; make them present.
    data = open(out, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    import struct
    (_, _, _, _, count, size, offset, _) = struct.unpack("<IHHHHIIH", data[end:end + 22])
    zip64 = struct.pack("<IQHHIIQQQQ", 0x06064b50, 44, 45, 45, 0, 0, count, count, size, offset)
    locator = struct.pack("<IIQI", 0x07064b50, 0, end, 1)
    tail = struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    open(out, "wb").write(data[:end] + zip64 + locator + tail)
)PY";

// The entry names as libzip lists them, or nothing when libzip does not open the file.
std::optional<std::vector<std::string>> NamesIfOpens(const std::string& path) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return std::nullopt;
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        names.emplace_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS));
    }
    zip_discard(archive);
    return names;
}

bool HaveTool(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class InPlaceRemoval : public ::testing::Test {
  protected:
    // Writes the archive in the given layout; false when the tools for it are missing.
    bool makeArchive(const std::string& kind) {
        if (!HaveTool("python3 --version")) return false;
        if (kind == "infozip" && !HaveTool("zip -v")) return false;
        box_.makeDirectory("update");
        box_.writeFile("writer.py", kWriter);
        const std::string command =
            "python3 '" + box_.path("writer.py") + "' " + kind + " '" + archive() + "'";
        return std::system(command.c_str()) == 0;
    }

    std::string archive() const { return box_.path("update/orvupd.zip"); }

    std::vector<std::string> namesByLibzip() const { return testing::NamesByLibzip(archive()); }

    void expectAcceptedByAllReaders(const std::vector<std::string>& names) {
        testing::ExpectEveryReaderFinds(archive(), names);
    }

    testing::Sandbox box_;
    posix::PosixFileSystem files_{box_.root()};
    Zipkit zipkit_{files_};
};

struct LayoutCase {
    const char* kind;
    std::vector<const char*> masks; // removed one after another
    std::vector<std::string> remaining;
};

const LayoutCase kLayouts[] = {
    {"plain", {"*orvupd.txt"}, {"ORVEN.MDB", "SYSTEM/a.ocx", "SYSTEM/b.dll", "docs/liesmich.txt"}},
    {"plain", {"ORVEN.MDB", "*.OCX", "*.DLL"}, {"orvupd.txt", "docs/liesmich.txt"}},
    {"plain", {"docs\\LIESMICH.TXT"}, {"orvupd.txt", "ORVEN.MDB", "SYSTEM/a.ocx", "SYSTEM/b.dll"}},
    {"plain", {"*.*"}, {}},
    {"comment", {"*.OCX"}, {"orvupd.txt", "ORVEN.MDB", "SYSTEM/b.dll", "docs/liesmich.txt"}},
    {"comment", {"*.*"}, {}},
    {"zip64", {"*orvupd.txt", "*.DLL"}, {"ORVEN.MDB", "SYSTEM/a.ocx", "docs/liesmich.txt"}},
    {"zip64", {"*.*"}, {}},
    {"descriptors",
     {"ORVEN.MDB"},
     {"orvupd.txt", "SYSTEM/a.ocx", "SYSTEM/b.dll", "docs/liesmich.txt"}},
    {"descriptors", {"*orvupd.txt", "*.*"}, {}},
    {"infozip", {"SYSTEM*"}, {"orvupd.txt", "ORVEN.MDB", "docs/liesmich.txt"}},
    {"infozip", {"*.*"}, {}},
};

class InPlaceLayouts : public InPlaceRemoval, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(InPlaceLayouts, LeaveAnArchiveEveryReaderAccepts) {
    if (!makeArchive(GetParam().kind)) GTEST_SKIP() << "python3 or zip is missing";
    std::vector<testing::LibzipEntry> before = testing::ReadWithLibzip(archive());

    for (const char* mask : GetParam().masks) {
        RecordingProgress progress;
        zipkit_.ZipDeleteFile(kArchive, mask, &progress);
        EXPECT_TRUE(testing::IsCompleteProgress(progress.texts)) << mask;
    }

    expectAcceptedByAllReaders(GetParam().remaining);
    // What is left keeps its data.
    for (const auto& entry : testing::ReadWithLibzip(archive())) {
        const auto old = std::find_if(before.begin(), before.end(),
                                      [&](const auto& b) { return b.name == entry.name; });
        ASSERT_NE(old, before.end()) << entry.name;
        EXPECT_EQ(entry.contents, old->contents) << entry.name;
    }
    if (std::string(GetParam().kind) == "comment") {
        const std::string bytes = testing::ReadFile(archive());
        EXPECT_EQ(bytes.substr(bytes.size() - std::string(kComment).size()), kComment);
    }
}

// One change of the archive by a removal, as the disk may get it: bytes written at an offset,
// a cut, or a sync, before which nothing after it reaches the disk.
struct Change {
    enum class Kind { Write, Cut, Sync } kind;
    std::uint64_t offset = 0; // of a write; the new length for a cut
    std::string bytes;
};

// The file system of the tests, recording every change made to a file opened for update.
class ChangeRecorder : public posix::PosixFileSystem {
  public:
    using PosixFileSystem::PosixFileSystem;

    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override {
        return std::make_unique<Recorded>(PosixFileSystem::openForUpdate(path), changes);
    }

    std::vector<Change> changes;

  private:
    class Recorded final : public RandomAccessFile {
      public:
        Recorded(std::unique_ptr<RandomAccessFile> real, std::vector<Change>& changes)
            : real_(std::move(real)), changes_(changes) {}
        std::uint64_t size() override { return real_->size(); }
        void readAt(std::uint64_t offset, char* data, std::size_t size) override {
            real_->readAt(offset, data, size);
        }
        void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
            real_->writeAt(offset, data, size);
            changes_.push_back({Change::Kind::Write, offset, std::string(data, size)});
        }
        void truncate(std::uint64_t size) override {
            real_->truncate(size);
            changes_.push_back({Change::Kind::Cut, size, {}});
        }
        void sync() override {
            real_->sync();
            changes_.push_back({Change::Kind::Sync, 0, {}});
        }
        void close() override { real_->close(); }

      private:
        std::unique_ptr<RandomAccessFile> real_;
        std::vector<Change>& changes_;
    };
};

std::string Applied(std::string bytes, const Change& change) {
    if (change.kind == Change::Kind::Cut) {
        bytes.resize(change.offset);
    } else if (change.kind == Change::Kind::Write) {
        const std::size_t end = change.offset + change.bytes.size();
        if (bytes.size() < end) bytes.resize(end, '\0');
        bytes.replace(change.offset, change.bytes.size(), change.bytes);
    }
    return bytes;
}

// Every file that a power cut during the changes can leave: all changes before the last sync
// that returned, and any of those after it.
std::vector<std::string> AfterAPowerCut(const std::string& start, const std::vector<Change>& all) {
    std::vector<std::string> states;
    std::string synced = start;
    std::vector<Change> pending;
    const auto cutNow = [&] {
        for (std::size_t kept = 0; kept < (std::size_t{1} << pending.size()); ++kept) {
            std::string bytes = synced;
            for (std::size_t i = 0; i < pending.size(); ++i) {
                if ((kept >> i & 1) != 0) bytes = Applied(bytes, pending[i]);
            }
            states.push_back(bytes);
        }
    };
    for (const Change& change : all) {
        if (change.kind != Change::Kind::Sync) {
            pending.push_back(change);
            continue;
        }
        cutNow();
        for (const Change& done : pending)
            synced = Applied(synced, done);
        pending.clear();
    }
    cutNow();
    return states;
}

// A power cut at any moment of the removals leaves the archive as delivered, or one that the
// next run's start-up knows for what a run left of its backup: it never discards the backup
// as stale while the archive lacks entries or cannot be read.
TEST_P(InPlaceLayouts, NoPowerCutMakesTheBackupLookStale) {
    if (!makeArchive(GetParam().kind)) GTEST_SKIP() << "python3 or zip is missing";
    const std::string delivered = testing::ReadFile(archive());
    ChangeRecorder recorder{box_.root()};
    Zipkit zipkit{recorder};
    for (const char* mask : GetParam().masks) {
        zipkit.ZipDeleteFile(kArchive, mask, nullptr);
    }

    const std::string backup = std::string(kArchive) + "$$$";
    box_.writeFile("update/orvupd.zip$$$", delivered);
    std::size_t states = 0;
    for (const std::string& left : AfterAPowerCut(delivered, recorder.changes)) {
        ++states;
        box_.writeFile("update/orvupd.zip", left);
        EXPECT_TRUE(left == delivered || IsReducedCopyOf(files_, kArchive, backup))
            << "state " << states << ": " << left.size() << " of " << delivered.size() << " bytes";
    }
    EXPECT_GT(states, GetParam().masks.size());
}

INSTANTIATE_TEST_SUITE_P(InPlace, InPlaceLayouts, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& param) {
                             return std::string(param.param.kind) + "_" +
                                    std::to_string(param.index);
                         });

TEST_F(InPlaceRemoval, RemovingNothingLeavesBytesAndTimeAsTheyWere) {
    if (!makeArchive("comment")) GTEST_SKIP() << "python3 is missing";
    testing::SetModificationSeconds(archive(), 1'000'000'000);
    const std::string bytes = testing::ReadFile(archive());

    zipkit_.ZipDeleteFile(kArchive, "*.XYZ", nullptr);

    EXPECT_EQ(testing::ReadFile(archive()), bytes);
    EXPECT_EQ(testing::ModificationSeconds(archive()), 1'000'000'000);
}

TEST_F(InPlaceRemoval, TheFileShrinksBySomeOfTheDirectoryOnly) {
    if (!makeArchive("plain")) GTEST_SKIP() << "python3 is missing";
    const std::string before = testing::ReadFile(archive());

    zipkit_.ZipDeleteFile(kArchive, "ORVEN.MDB", nullptr);

    // The data of every entry stays where it was; only the directory is shorter.
    const std::string after = testing::ReadFile(archive());
    const std::size_t directory = before.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    EXPECT_EQ(after.substr(0, directory), before.substr(0, directory));
    EXPECT_LT(after.size(), before.size());
    EXPECT_GT(after.size(), directory);
}

// InPlaceLayouts that the rewrite would damage: refused, and the file stays as it was.
struct RefusalCase {
    const char* name;
    std::string prefix;
    std::string suffix;
};

const RefusalCase kRefusals[] = {
    {"BytesAfterTheComment", "", std::string("trailing garbage\0\0", 18)},
    {"BytesBeforeTheArchive", std::string(100, 'X'), ""},
};

class InPlaceRefusals : public InPlaceRemoval, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(InPlaceRefusals, LeaveTheFileUntouched) {
    if (!makeArchive("comment")) GTEST_SKIP() << "python3 is missing";
    const std::string bytes = GetParam().prefix + testing::ReadFile(archive()) + GetParam().suffix;
    box_.writeFile("update/orvupd.zip", bytes);

    try {
        zipkit_.ZipDeleteFile(kArchive, "*orvupd.txt", nullptr);
        ADD_FAILURE() << "removal from a " << GetParam().name << " archive did not fail";
    } catch (const RuntimeError& error) {
        EXPECT_GE(error.number(), err::kZipNotAnArchive) << error.description();
        EXPECT_LE(error.number(), err::kZipDuplicateName) << error.description();
    }
    EXPECT_EQ(testing::ReadFile(archive()), bytes);
}

INSTANTIATE_TEST_SUITE_P(InPlace, InPlaceRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& param) {
                             return std::string(param.param.name);
                         });

// A removal whose k-th write fails. A single failure is repaired: the old archive is back,
// byte for byte. When every write from the k-th on fails, nothing can be repaired, and the file
// is the old archive, the new one, or one that libzip refuses; never one with other entries.
struct InterruptionCase {
    std::size_t failingWrite;
    bool persistent;
    bool oldArchiveAllowed;
    bool newArchiveAllowed;
};

const InterruptionCase kInterruptions[] = {
    {1, false, true, false}, {2, false, true, false},
    {3, false, true, false}, {1, true, true, false}, // the old end record is never erased
    {2, true, false, false},                         // erased, the new directory not written
    {3, true, false, true},                          // the new directory written, the file not cut
};

class InPlaceInterruptions : public InPlaceRemoval,
                             public ::testing::WithParamInterface<InterruptionCase> {};

TEST_P(InPlaceInterruptions, LeaveTheOldArchiveTheNewOneOrNone) {
    if (!makeArchive("comment")) GTEST_SKIP() << "python3 is missing";
    const std::string before = testing::ReadFile(archive());
    FaultyFileSystem faulty{files_};
    if (GetParam().persistent) {
        faulty.failFrom(FileOp::Write, GetParam().failingWrite, err::kDeviceIo);
    } else {
        faulty.failAt(FileOp::Write, GetParam().failingWrite, err::kDeviceIo);
    }
    Zipkit zipkit{faulty};

    EXPECT_THROW(zipkit.ZipDeleteFile(kArchive, "*.OCX", nullptr), RuntimeError);

    const auto names = NamesIfOpens(archive());
    const std::vector<std::string> newNames{"orvupd.txt", "ORVEN.MDB", "SYSTEM/b.dll",
                                            "docs/liesmich.txt"};
    if (GetParam().oldArchiveAllowed) {
        EXPECT_EQ(testing::ReadFile(archive()), before);
    } else if (GetParam().newArchiveAllowed) {
        EXPECT_TRUE(!names || *names == newNames);
    } else {
        EXPECT_FALSE(names.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(InPlace, InPlaceInterruptions, ::testing::ValuesIn(kInterruptions));

} // namespace
} // namespace orv::zipkit
