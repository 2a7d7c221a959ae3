#include "posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "contract/file_system_contract.h"
#include "platform/runtime_error.h"
#include "posix/unique_fd.h"
#include "support/sandbox.h"

namespace orv::posix {
namespace {

using contract::ContractPlatform;
using contract::ErrorOf;
using contract::FileSystemContract;
using testing::Sandbox;

// The shared contract, with the drive root in a fresh sandbox and each case in C:\ORVEN32.
class ScratchInSandbox final : public contract::ScratchFileSystem {
  public:
    ScratchInSandbox() { box_.makeDirectory("ORVEN32"); }
    FileSystem& files() override { return files_; }
    const std::string& folder() const override { return folder_; }

  private:
    Sandbox box_;
    PosixFileSystem files_{box_.root()};
    std::string folder_ = "C:\\ORVEN32";
};

INSTANTIATE_TEST_SUITE_P(Posix, FileSystemContract,
                         ::testing::Values(ContractPlatform{
                             "Posix", [] { return std::make_unique<ScratchInSandbox>(); }, {}}),
                         contract::PlatformName);

void SetTime(const std::string& path, std::time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class InstallationTree : public ::testing::Test {
  protected:
    void SetUp() override {
        box.makeDirectory("ORVEN32/UPDATE");
        box.writeFile("ORVEN32/orv/orven32.exe", "#!/bin/sh\n");
        box.writeFile("ORVEN32/orv/Orven32.ini", "[ORVEN]\n");
        box.makeDirectory("DATA");
        box.makeDirectory("Data");
        box.makeDirectory("Änderungen");
    }

    Sandbox box;
    PosixFileSystem files{box.root()};
};

struct ResolveCase {
    const char* path;
    const char* expected; // below the sandbox
};

TEST_F(InstallationTree, ResolvesComponentsWithoutRegardToCase) {
    const ResolveCase cases[] = {
        {"\\orven32\\update", "ORVEN32/UPDATE"},
        {"\\ORVEN32\\ORV\\ORVEN32.EXE", "ORVEN32/orv/orven32.exe"},
        {"\\orven32\\orv\\ORVEN32.INI", "ORVEN32/orv/Orven32.ini"},
        {"\\Orven32\\update\\orvupd.zip$$$", "ORVEN32/UPDATE/orvupd.zip$$$"},
        {"\\orven32\\Neu\\Datei.TXT", "ORVEN32/Neu/Datei.TXT"},
        {"\\orven32\\neu\\orv", "ORVEN32/neu/orv"},
        {"C:\\orven32\\UPDATE", "ORVEN32/UPDATE"},
        {"c:orven32", "ORVEN32"},
        {"\\\\orven32\\\\orv\\", "ORVEN32/orv"},
        {"\\orven32/orv\\orven32.exe", "ORVEN32/orv/orven32.exe"},
        {"\\data", "DATA"}, // no exact match: the first in byte order
        {"\\Data", "Data"}, // an exact match wins
        {"\\dAtA\\neu", "DATA/neu"},
        {"\\ÄNDERUNGEN", "Änderungen"},
        {"\\orven32\\update\\..\\ORV", "ORVEN32/UPDATE/../orv"},
        {"\\ORVEN32\\orv\\ORVEN32.EXE", "ORVEN32/orv/orven32.exe"}, // only the name differs
        {"\\ORVEN32\\orv\\neu.txt", "ORVEN32/orv/neu.txt"},
        {"\\orven32\\update\\neu\\Datei.txt", "ORVEN32/UPDATE/neu/Datei.txt"},
    };
    for (const ResolveCase& c : cases) {
        EXPECT_EQ(files.resolve(c.path), box.path(c.expected)) << c.path;
    }
}

TEST_F(InstallationTree, AbsolutePosixPathIsUsedAsItIsAndResolvedBelow) {
    EXPECT_EQ(files.resolve(box.root() + "/orven32\\UPDATE"), box.path("ORVEN32/UPDATE"));
    EXPECT_EQ(files.resolve(box.root() + "\\orven32\\orv"), box.path("ORVEN32/orv"));
    EXPECT_EQ(files.nativePath("\\orven32\\orv"), box.path("ORVEN32/orv"));
}

TEST(PosixFileSystemRoot, RootedPathsLieBelowTheRealRootByDefault) {
    PosixFileSystem files;
    EXPECT_EQ(files.resolve("\\"), "/");
    EXPECT_EQ(files.resolve("\\tmp"), "/tmp");
    EXPECT_EQ(PosixFileSystem("/srv/laufwerk/").resolve("\\Neu\\x"), "/srv/laufwerk/Neu/x");
}

// A FileTime here is nanoseconds since 1970, kept whole by a copy.
TEST_F(InstallationTree, TimesAreNanosecondsKeptWholeByACopy) {
    box.writeFile("ORVEN32/UPDATE/orvupd.zip", "PK");
    SetTime(box.path("ORVEN32/UPDATE/orvupd.zip"), 1'700'000'000, 123'456'789);
    files.copyFile("\\orven32\\UPDATE\\ORVUPD.ZIP", "\\orven32\\update\\orvupd.zip$$$");
    EXPECT_EQ(files.modificationTime("\\orven32\\update\\orvupd.zip$$$"),
              1'700'000'000'123'456'789LL);

    auto out = files.createFile("\\orven32\\orv\\neu.tmp");
    out->setModificationTime(1'234'567'890);
    out->close();
    EXPECT_EQ(files.modificationTime("\\orven32\\orv\\neu.tmp"), 1'234'567'890'000'000'000);
}

// The error keeps the system's own code beside the updater's number and text.
TEST_F(InstallationTree, FailuresKeepTheSystemsOwnCode) {
    struct Case {
        const char* what;
        std::function<void()> call;
        int number;
        int systemCode;
    };
    const Case cases[] = {
        {"missing file", [&] { files.probeOpen("\\orven32\\orv\\fehlt.exe"); }, 53, ENOENT},
        {"file taken for a folder", [&] { files.readFirstLine("\\orven32\\orv\\orven32.exe\\x"); },
         76, ENOTDIR},
        {"copy into a missing folder",
         [&] { files.copyFile("\\orven32\\orv\\orven32.exe", "\\orven32\\fehlt\\neu.txt"); }, 76,
         ENOENT},
        {"folder below a missing one", [&] { files.createDirectory("\\orven32\\fehlt\\neu"); }, 76,
         ENOENT},
        {"folder where a file is", [&] { files.createDirectory("\\orven32\\orv\\orven32.exe"); },
         75, EEXIST},
        {"folder opened as a file", [&] { files.probeOpen("\\orven32\\orv"); }, 75, 0},
        {"folder read as a file", [&] { files.readFirstLine("\\orven32\\orv"); }, 75, 0},
        {"file below a missing folder", [&] { files.probeOpen("\\fehlt\\orv\\orven32.exe"); }, 53,
         ENOENT},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << c.what;
            EXPECT_EQ(e.description(), ErrorText(c.number)) << c.what;
            EXPECT_EQ(e.systemCode(), c.systemCode) << c.what;
        }
    }
}

// Every errno value that a file call meets in the field, as the number the user reads.
TEST(ErrnoNumbers, EachValueHasTheNumberOfItsKind) {
    struct Case {
        int value;
        int number;
        Cause cause;
    };
    const Case cases[] = {
        {ENOENT, 53, Cause::Other}, {ENOTDIR, 76, Cause::Other}, {ENAMETOOLONG, 76, Cause::Other},
        {ELOOP, 76, Cause::Other},  {EACCES, 70, Cause::Denied}, {EPERM, 70, Cause::Denied},
        {EROFS, 70, Cause::Denied}, {EBUSY, 70, Cause::Held},    {ETXTBSY, 70, Cause::Held},
        {ENOSPC, 61, Cause::Full},  {EDQUOT, 61, Cause::Full},   {EFBIG, 61, Cause::Full},
        {EIO, 57, Cause::Other},    {EEXIST, 75, Cause::Other},  {0, 75, Cause::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorNumberOfErrno(c.value), c.number) << c.value;
        EXPECT_EQ(ErrnoError(c.value).cause(), c.cause) << c.value;
    }
}

// What keeps a file from the updater decides what it does: a lock of another program is waited
// for, a missing right is not. Rows run as an ordinary user where the test runs as root.
TEST_F(InstallationTree, ProbesTellAHeldFileFromADeniedOne) {
    const std::string exe = box.path("ORVEN32/orv/orven32.exe");
    const auto lockWith = [&exe](int how) {
        return [&exe, how] {
            UniqueFd holder{::open(exe.c_str(), O_RDWR | O_CLOEXEC)};
            if (how == LOCK_EX) {
                ::flock(holder.get(), LOCK_EX | LOCK_NB);
            } else {
                struct flock lock {};
                lock.l_type = F_WRLCK;
                lock.l_whence = SEEK_SET;
                ::fcntl(holder.get(), F_OFD_SETLK, &lock);
            }
            return holder;
        };
    };
    struct Case {
        const char* what;
        std::function<UniqueFd()> prepare; // what it returns is held open for the row
        std::function<void()> probe;
        Cause cause; // Other: no error at all
    };
    const Case cases[] = {
        {"a file locked with flock", lockWith(LOCK_EX),
         [&] { files.probeOpen("\\orven32\\orv\\orven32.exe"); }, Cause::Held},
        {"a file locked with fcntl", lockWith(F_WRLCK),
         [&] { files.probeReplace("\\orven32\\orv\\orven32.exe"); }, Cause::Held},
        {"a file locked for update", lockWith(LOCK_EX),
         [&] { files.openForUpdate("\\orven32\\orv\\orven32.exe"); }, Cause::Held},
        {"a file that others read",
         [&exe] {
             UniqueFd holder{::open(exe.c_str(), O_RDONLY | O_CLOEXEC)};
             ::flock(holder.get(), LOCK_SH | LOCK_NB);
             return holder;
         },
         [&] { files.probeOpen("\\orven32\\orv\\orven32.exe"); }, Cause::Other},
        {"a file the user may not read",
         [&] {
             box.setMode("ORVEN32/orv/orven32.exe", 0200);
             return UniqueFd{};
         },
         [&] { files.probeReplace("\\orven32\\orv\\orven32.exe"); }, Cause::Denied},
        {"a folder the user may not write",
         [&] {
             box.setMode("ORVEN32/orv", 0555);
             return UniqueFd{};
         },
         [&] { files.probeWriteFolder("\\orven32\\orv"); }, Cause::Denied},
        // A file without write permission in a folder the user may write can be replaced.
        {"a file without write permission",
         [&] {
             box.setMode("ORVEN32/orv/orven32.exe", 0444);
             return UniqueFd{};
         },
         [&] { files.probeReplace("\\orven32\\orv\\orven32.exe"); }, Cause::Other},
    };
    box.openToEveryone();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UniqueFd holder = c.prepare();
        std::optional<RuntimeError> error;
        {
            const testing::AsOrdinaryUser user;
            try {
                c.probe();
            } catch (const RuntimeError& e) {
                error = e;
            }
        }
        box.openToEveryone();
        if (c.cause == Cause::Other) {
            EXPECT_FALSE(error.has_value()) << error->description();
            continue;
        }
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->number(), 70);
        EXPECT_EQ(error->cause(), c.cause);
    }
}

TEST_F(InstallationTree, NewProgramsAreExecutable) {
    const ::mode_t mask = ::umask(022);
    files.createFile("\\orven32\\orv\\neu.EXE")->close();
    files.createFile("\\orven32\\orv\\neu.exe.txt")->close();
    files.createFile("\\orven32\\orv\\exe")->close();
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(box.path("ORVEN32/orv/neu.EXE").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(::stat(box.path("ORVEN32/orv/neu.exe.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat(box.path("ORVEN32/orv/exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // A file put in place under a program's name, as extraction does with its temporaries.
    box.writeFile("ORVEN32/orv/neu.tmp", "#!/bin/sh\n");
    ASSERT_EQ(::chmod(box.path("ORVEN32/orv/neu.tmp").c_str(), 0640), 0);
    files.replaceFile("\\orven32\\orv\\neu.tmp", "\\orven32\\orv\\orven32.exe");
    ASSERT_EQ(::stat(box.path("ORVEN32/orv/orven32.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

// Folders that were searched once are remembered between calls. Whatever changes them
// afterwards, this file system or another program, the next search must see the change.
struct FolderChange {
    const char* what;
    std::function<void(const Sandbox&, PosixFileSystem&)> change;
    const char* path;
    const char* expected; // below the sandbox
};

void Rename(const Sandbox& box, const char* from, const char* to) {
    std::filesystem::rename(box.path(from), box.path(to));
}

TEST(RememberedFolders, SearchesSeeEveryLaterChange) {
    const FolderChange cases[] = {
        {"another program makes the file",
         [](const Sandbox& box, PosixFileSystem&) { box.writeFile("ORVEN32/orv/NEU.TXT", ""); },
         "\\orven32\\ORV\\neu.txt", "ORVEN32/orv/NEU.TXT"},
        {"another program removes the file",
         [](const Sandbox& box, PosixFileSystem&) {
             std::filesystem::remove(box.path("ORVEN32/orv/Alt.txt"));
         },
         "\\orven32\\ORV\\alt.txt", "ORVEN32/orv/alt.txt"},
        {"another program renames the file",
         [](const Sandbox& box, PosixFileSystem&) {
             Rename(box, "ORVEN32/orv/Alt.txt", "ORVEN32/orv/ALT.TXT");
         },
         "\\orven32\\ORV\\alt.txt", "ORVEN32/orv/ALT.TXT"},
        {"a spelling that comes first in byte order appears",
         [](const Sandbox& box, PosixFileSystem&) { box.writeFile("ORVEN32/orv/B.TXT", ""); },
         "\\orven32\\ORV\\b.TXT", "ORVEN32/orv/B.TXT"},
        {"the folder's exact spelling appears beside it",
         [](const Sandbox& box, PosixFileSystem&) { box.makeDirectory("ORVEN32/ORV"); },
         "\\orven32\\ORV\\alt.txt", "ORVEN32/ORV/alt.txt"},
        {"the folder is renamed and another takes its place",
         [](const Sandbox& box, PosixFileSystem&) {
             Rename(box, "ORVEN32/orv", "ORVEN32/alt");
             box.writeFile("ORVEN32/Orv/ALT.TXT", "");
         },
         "\\orven32\\ORV\\alt.txt", "ORVEN32/Orv/ALT.TXT"},
        {"a renamed folder keeps its names",
         [](const Sandbox& box, PosixFileSystem&) { Rename(box, "ORVEN32/orv", "ORVEN32/Neu"); },
         "\\orven32\\neu\\alt.TXT", "ORVEN32/Neu/Alt.txt"},
        {"a folder below is removed and made again",
         [](const Sandbox& box, PosixFileSystem&) {
             std::filesystem::remove_all(box.path("ORVEN32/orv/Hilfe"));
             box.makeDirectory("ORVEN32/orv/HILFE");
         },
         "\\orven32\\orv\\hilfe\\x.txt", "ORVEN32/orv/HILFE/x.txt"},
        {"this file system makes the file",
         [](const Sandbox&, PosixFileSystem& files) {
             files.createFile("\\orven32\\orv\\NEU.TXT")->close();
         },
         "\\orven32\\ORV\\neu.txt", "ORVEN32/orv/NEU.TXT"},
        {"this file system removes the file",
         [](const Sandbox&, PosixFileSystem& files) {
             files.deleteFile("\\orven32\\orv\\alt.txt");
         },
         "\\orven32\\ORV\\alt.txt", "ORVEN32/orv/alt.txt"},
        {"this file system moves a file over a new name",
         [](const Sandbox&, PosixFileSystem& files) {
             files.replaceFile("\\orven32\\orv\\alt.txt", "\\orven32\\orv\\C.TXT");
         },
         "\\orven32\\ORV\\c.txt", "ORVEN32/orv/C.TXT"},
        {"this file system gives the file a second name",
         [](const Sandbox&, PosixFileSystem& files) {
             files.keepAs("\\orven32\\orv\\alt.txt", "\\orven32\\orv\\ALT.BAK");
         },
         "\\orven32\\ORV\\alt.bak", "ORVEN32/orv/ALT.BAK"},
        {"this file system copies the file",
         [](const Sandbox&, PosixFileSystem& files) {
             files.copyFile("\\orven32\\orv\\alt.txt", "\\orven32\\orv\\KOPIE.TXT");
         },
         "\\orven32\\ORV\\kopie.txt", "ORVEN32/orv/KOPIE.TXT"},
        {"this file system makes a folder",
         [](const Sandbox&, PosixFileSystem& files) {
             files.createDirectory("\\orven32\\orv\\NEU");
         },
         "\\orven32\\ORV\\neu\\x.txt", "ORVEN32/orv/NEU/x.txt"},
    };
    for (const FolderChange& c : cases) {
        Sandbox box;
        box.writeFile("ORVEN32/orv/Alt.txt", "alt");
        box.writeFile("ORVEN32/orv/b.txt", "");
        box.writeFile("ORVEN32/orv/Hilfe/x.txt", "");
        PosixFileSystem files{box.root()};
        // Searches that fill the memory: names missing, present, and a folder spelt otherwise.
        for (const char* path :
             {"\\orven32\\ORV\\neu.txt", "\\orven32\\ORV\\alt.txt", "\\orven32\\ORV\\b.TXT",
              "\\ORVEN32\\ORV\\HILFE\\X.TXT", "\\orven32\\neu\\alt.TXT", "\\orven32\\ORV\\c.txt"}) {
            files.resolve(path);
        }
        c.change(box, files);
        EXPECT_EQ(files.resolve(c.path), box.path(c.expected)) << c.what;
    }
}

TEST(RememberedFolders, ManyChangesAtOnceAreNotLost) {
    Sandbox box;
    box.makeDirectory("Viele");
    PosixFileSystem files{box.root()};
    EXPECT_EQ(files.resolve("\\viele\\letzte.txt"), box.path("Viele/letzte.txt"));
    // More changes than the kernel holds for a reader that does not look meanwhile.
    for (int i = 0; i < 17'000; ++i) {
        const UniqueFd file{::open(box.path("Viele/f" + std::to_string(i)).c_str(),
                                   O_WRONLY | O_CREAT | O_CLOEXEC, 0644)};
        ASSERT_TRUE(file.valid());
    }
    box.writeFile("Viele/LETZTE.TXT", "");
    EXPECT_EQ(files.resolve("\\viele\\letzte.txt"), box.path("Viele/LETZTE.TXT"));
    EXPECT_EQ(files.resolve("\\viele\\F16999"), box.path("Viele/f16999"));
}

} // namespace
} // namespace orv::posix
