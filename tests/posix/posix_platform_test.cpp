#include "posix/posix_platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "posix/unique_fd.h"
#include "support/sandbox.h"

namespace orv::posix {
namespace {

TEST(DirectoryOf, CutsTheLastComponent) {
    EXPECT_EQ(DirectoryOf("/opt/ORVEN32/UPDATE/orvupd"), "/opt/ORVEN32/UPDATE");
    EXPECT_EQ(DirectoryOf("/orvupd"), "/");
    EXPECT_EQ(DirectoryOf("/a//orvupd"), "/a");
    EXPECT_EQ(DirectoryOf("orvupd"), ".");
}

// Sets an environment variable for one test and puts the old value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        hadOld_ = std::getenv(name) != nullptr;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (hadOld_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

TEST(SettingsOfProcess, TakesArgumentsAndEnvironment) {
    const ScopedVariable root("ORVUPD_DRIVE_ROOT", "/srv/laufwerk");
    const ScopedVariable windir("WINDIR", nullptr);
    char program[] = "orvupd";
    char date[] = "01.02.2024";
    char label[] = "3.0";
    char* argv[] = {program, date, label, nullptr};
    const ProcessSettings settings = SettingsOfProcess(3, argv);
    EXPECT_EQ(settings.commandLine, "01.02.2024 3.0");
    EXPECT_EQ(settings.driveRoot, "/srv/laufwerk");
    EXPECT_EQ(settings.windowsDirectory, "/etc");
    EXPECT_EQ(settings.ownDirectory.front(), '/');
    EXPECT_NE(settings.ownDirectory.back(), '/');

    const ScopedVariable noRoot("ORVUPD_DRIVE_ROOT", nullptr);
    const ScopedVariable otherWindir("WINDIR", "/opt/windows");
    const ProcessSettings alone = SettingsOfProcess(1, argv);
    EXPECT_EQ(alone.commandLine, "");
    EXPECT_EQ(alone.driveRoot, "/");
    EXPECT_EQ(alone.windowsDirectory, "/opt/windows");
}

class Platform : public ::testing::Test {
  protected:
    PosixPlatform make(const std::string& windowsDirectory) {
        return PosixPlatform(
            {"/opt/ORVEN32/UPDATE", "01.02.2024 3.0", box.root(), windowsDirectory}, in, false, out,
            false);
    }

    testing::Sandbox box;
    std::istringstream in;
    std::ostringstream out;
};

TEST_F(Platform, WindowsDirectoryFillsTheBufferWhenItFits) {
    struct Case {
        std::string directory;
        std::size_t result;
        bool written;
    };
    const Case cases[] = {
        {"/etc", 4, true},
        {std::string(254, 'w'), 254, true},
        {std::string(255, 'w'), 256, false},
        {std::string(300, 'w'), 301, false},
    };
    for (const Case& c : cases) {
        PosixPlatform platform = make(c.directory);
        std::string buffer(255, ' ');
        EXPECT_EQ(platform.windowsDirectory(buffer), c.result);
        EXPECT_EQ(buffer.size(), 255u);
        if (c.written) {
            EXPECT_EQ(buffer.substr(0, c.directory.size()), c.directory);
            EXPECT_EQ(buffer[c.directory.size()], '\0');
        } else {
            EXPECT_EQ(buffer, std::string(255, ' '));
        }
    }
}

TEST_F(Platform, ProfileStringFindsTheFileWithoutRegardToCase) {
    box.writeFile("ORVEN32/orv/orven32.ini", "[ORVEN]\r\nPfad1=/daten\r\n");
    PosixPlatform platform = make("/etc");
    EXPECT_EQ(platform.profileString("ORVEN", "Pfad1", "", 255, "\\orven32\\ORV\\ORVEN32.INI"),
              "/daten");
    EXPECT_EQ(platform.profileString("ORVEN", "Pfad2", "-", 255, "\\orven32\\ORV\\ORVEN32.INI"),
              "-");
    EXPECT_EQ(platform.profileString("ORVEN", "Pfad1", "-", 255, "\\fehlt\\orven32.ini"), "-");
    EXPECT_EQ(platform.commandLine(), "01.02.2024 3.0");
    EXPECT_EQ(platform.ownDirectory(), "/opt/ORVEN32/UPDATE");
    EXPECT_EQ(platform.version().major, 3);
    EXPECT_EQ(platform.files().nativePath("\\orven32"), box.path("ORVEN32"));
}

// One updater at a time for an installation: the claim is a lock on the file orvupd.lock in its
// update folder, which the system lets go when the process ends, however it ends. What decides
// is the lock, never the file's mere existence.
TEST_F(Platform, ClaimsTheInstallationByALockOnItsFile) {
    const std::string lock = box.path("ORVEN32/update/orvupd.lock");
    struct Case {
        const char* what;
        // Runs before the claim; what it returns is held open meanwhile.
        std::function<UniqueFd()> before;
        bool claimed;
    };
    const Case cases[] = {
        {"no one else", [] { return UniqueFd{}; }, true},
        {"a lock file that a run left when it ended unexpectedly",
         [&] {
             box.writeFile("ORVEN32/update/orvupd.lock", "");
             return UniqueFd{};
         },
         true},
        {"a lock file of a run that was killed while it held the lock",
         [&] {
             const pid_t child = ::fork();
             if (child == 0) {
                 const UniqueFd fd{::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
                 ::flock(fd.get(), LOCK_EX);
                 ::pause();
                 ::_exit(0);
             }
             // Killed once it holds the lock, as a user ends the task.
             while (true) {
                 const UniqueFd probe{::open(lock.c_str(), O_RDONLY | O_CLOEXEC)};
                 if (probe.valid() && ::flock(probe.get(), LOCK_SH | LOCK_NB) != 0) break;
                 ::usleep(1000);
             }
             ::kill(child, SIGKILL);
             ::waitpid(child, nullptr, 0);
             return UniqueFd{};
         },
         true},
        {"another updater holds the lock",
         [&] {
             UniqueFd fd{::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
             ::flock(fd.get(), LOCK_EX | LOCK_NB);
             return fd;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box.makeDirectory("ORVEN32/update");
        const UniqueFd other = c.before();
        PosixPlatform platform = make("/etc");
        {
            const auto claim = platform.claimInstallation("\\ORVEN32");
            EXPECT_EQ(claim != nullptr, c.claimed);
            if (c.claimed) {
                EXPECT_EQ(platform.claimInstallation("\\orven32"), nullptr) << "a second one";
            }
        }
        EXPECT_EQ(box.exists("ORVEN32/update/orvupd.lock"), !c.claimed)
            << "the claim leaves nothing behind, and takes away no one else's lock file";
        std::filesystem::remove(lock);
    }
    // Without an update folder there is no place for a claim: the run goes on unclaimed.
    EXPECT_NE(make("/etc").claimInstallation("\\OHNE"), nullptr);
}

} // namespace
} // namespace orv::posix
