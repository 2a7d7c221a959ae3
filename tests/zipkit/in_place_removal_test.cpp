// Removing entries by rewriting the central directory where it stands: the archive that is
// left must be one that every reader accepts, whatever the writer's layout was.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zip.h>

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

// Writes an archive with five entries in one of several layouts:
//   plain        deflated entries, sizes in the local headers
//   comment      the same with an archive comment
//   zip64        zip64 end records and extra fields on every entry
//   descriptors  written to a stream that cannot seek back: every entry has a data descriptor
//   infozip      Info-ZIP's zip -fd (data descriptors), when zip is installed
constexpr const char* kWriter = R"PY(
import io, os, subprocess, sys, zipfile
kind, out = sys.argv[1], sys.argv[2]
entries = [
    ("orvupd.txt", b"15.03.2025 3.1\r\n"),
    ("ORVEN.MDB", b"Stammdaten " * 4000),
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
