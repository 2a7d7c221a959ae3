#include "posix/posix_platform.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

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

} // namespace
} // namespace orv::posix
