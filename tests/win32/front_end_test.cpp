// The Windows front end against the real system calls (run under Wine on the build machines).

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "contract/file_system_contract.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "ui/draw_progress.h"
#include "ui/start_window.h"
#include "win32/handles.h"
#include "win32/message_pump.h"
#include "win32/units.h"
#include "win32/wide.h"
#include "win32/win32_file_system.h"
#include "win32/win32_platform.h"
#include "win32/win32_start_view.h"

namespace orv::win32 {
namespace {

// A fresh directory of its own for each test, removed afterwards.
class Sandbox {
  public:
    Sandbox() {
        std::wstring temp(MAX_PATH + 1, L'\0');
        temp.resize(GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
        root_ = std::filesystem::path(temp) /
                (L"orvupd-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount64()));
        std::filesystem::create_directories(root_);
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(L"\\\\?\\" + root_.wstring(), ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // A path inside the sandbox, as the updater writes it (UTF-8, backslashes).
    std::string path(const std::string& relative = "") const {
        const std::string root = Utf8(root_.wstring());
        return relative.empty() ? root : root + "\\" + relative;
    }

  private:
    std::filesystem::path root_;
};

// The shared contract, each case in a fresh temporary folder of its own.
class ScratchInTemp final : public contract::ScratchFileSystem {
  public:
    FileSystem& files() override { return files_; }
    const std::string& folder() const override { return folder_; }

  private:
    Sandbox sandbox_;
    Win32FileSystem files_;
    std::string folder_ = sandbox_.path();
};

using contract::FileSystemContract;
INSTANTIATE_TEST_SUITE_P(Win32, FileSystemContract,
                         testing::Values(contract::ContractPlatform{
                             "Win32", [] { return std::make_unique<ScratchInTemp>(); }, {}}),
                         contract::PlatformName);

void WriteBytes(const std::string& path, const std::string& bytes) {
    const KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    ASSERT_TRUE(file.valid()) << path;
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::string ReadBytes(const std::string& path) {
    const KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file.valid()) return "<missing>";
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

int ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

// ---- Files ----------------------------------------------------------------------------------

struct FirstLineCase {
    const char* what;
    std::string content;
    std::string line;
};

const FirstLineCase kFirstLineCases[] = {
    {"version line with CRLF", "15.03.2019 3.1\r\nzweite Zeile\r\n", "15.03.2019 3.1"},
    {"LF alone ends the line", "15.03.2019 3.1\nzweite", "15.03.2019 3.1"},
    {"CR alone ends the line", "15.03.2019 3.1\rzweite", "15.03.2019 3.1"},
    {"no line break at all", "15.03.2019 3.1", "15.03.2019 3.1"},
    {"empty first line", "\r\n15.03.2019", ""},
    {"ANSI umlauts",
     "15.03.2019 Gr\xFC\xDF"
     "e\r\n",
     "15.03.2019 Grüße"},
    {"UTF-8 umlauts", "15.03.2019 Grüße\r\n", "15.03.2019 Grüße"},
    {"line longer than one read", std::string(10000, 'x') + "\r\nrest", std::string(10000, 'x')},
    {"line break right after one read", std::string(4096, 'y') + "\nrest", std::string(4096, 'y')},
};

class FirstLineTest : public testing::TestWithParam<FirstLineCase> {};

TEST_P(FirstLineTest, ReadsUpToTheFirstLineBreak) {
    const FirstLineCase& c = GetParam();
    const Sandbox sandbox;
    WriteBytes(sandbox.path("orvupd.txt"), c.content);
    Win32FileSystem files;
    EXPECT_EQ(files.readFirstLine(sandbox.path("orvupd.txt")), c.line) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, FirstLineTest, testing::ValuesIn(kFirstLineCases));

TEST(Win32FileSystemTest, EmptyFileHasNoFirstLine) {
    const Sandbox sandbox;
    WriteBytes(sandbox.path("orvupd.txt"), "");
    Win32FileSystem files;
    EXPECT_EQ(ErrorNumberOf([&] { files.readFirstLine(sandbox.path("orvupd.txt")); }),
              err::kPastEndOfFile);
}

// How another program holds the file while the updater probes it.
struct ProbeCase {
    const char* what;
    DWORD access;
    DWORD sharing;
    int number; // 0: the probe succeeds
};

const ProbeCase kProbeCases[] = {
    {"nobody holds it", 0, 0, 0},
    {"read by another program that shares it", GENERIC_READ, FILE_SHARE_READ, 0},
    {"held without sharing", GENERIC_READ, 0, err::kPermissionDenied},
    {"written by another program", GENERIC_WRITE, FILE_SHARE_READ, err::kPermissionDenied},
    // A plain read open does not share writing, so even a writer that shares it blocks it.
    {"written, shared for writing too", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
     err::kPermissionDenied},
};

class ProbeTest : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, ReportsAFileHeldByAnotherProgramAs70) {
    const ProbeCase& c = GetParam();
    const Sandbox sandbox;
    const std::string path = sandbox.path("orven32.exe");
    WriteBytes(path, "MZ");
    {
        const KernelHandle holder{c.access == 0 ? INVALID_HANDLE_VALUE
                                                : CreateFileW(ApiPath(path).c_str(), c.access,
                                                              c.sharing, nullptr, OPEN_EXISTING,
                                                              FILE_ATTRIBUTE_NORMAL, nullptr)};
        ASSERT_TRUE(c.access == 0 || holder.valid()) << c.what;
        Win32FileSystem files;
        EXPECT_EQ(ErrorNumberOf([&] { files.probeOpen(path); }), c.number) << c.what;
    }
    EXPECT_EQ(ReadBytes(path), "MZ") << c.what << ": the probe changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Win32, ProbeTest, testing::ValuesIn(kProbeCases));

TEST(Win32FileSystemTest, ProbeTellsMissingFilesFromHeldOnes) {
    const Sandbox sandbox;
    CreateDirectoryW(ApiPath(sandbox.path("orv")).c_str(), nullptr);
    Win32FileSystem files;
    EXPECT_EQ(ErrorNumberOf([&] { files.probeOpen(sandbox.path("orven32.ini")); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { files.probeOpen(sandbox.path("fehlt\\orven32.ini")); }),
              err::kPathNotFound);
    // A directory of the name is no file that the application holds.
    EXPECT_EQ(ErrorNumberOf([&] { files.probeOpen(sandbox.path("orv")); }), err::kPathFileAccess);
}

TEST(Win32FileSystemTest, CopyKeepsTheModificationTimeAndReplacesTheTarget) {
    const Sandbox sandbox;
    const std::string archive = sandbox.path("orvupd.zip");
    const std::string backup = archive + "$$$";
    WriteBytes(backup, "PK alt, laenger");
    Win32FileSystem files;
    const auto output = files.createFile(archive);
    output->write("PK neu", 6);
    output->setModificationTime(1552651200); // 15.03.2019 12:00 UTC
    output->close();
    files.copyFile(archive, backup);
    EXPECT_EQ(ReadBytes(backup), "PK neu");
    EXPECT_EQ(files.modificationTime(backup), files.modificationTime(archive));
    EXPECT_EQ(files.modificationTime(archive), UnixSecondsToFileTime(1552651200));
}

TEST(Win32FileSystemTest, FailuresCarryTheUpdatersNumbers) {
    const Sandbox sandbox;
    const std::string file = sandbox.path("datei.txt");
    WriteBytes(file, "x");
    Win32FileSystem files;
    EXPECT_EQ(ErrorNumberOf([&] { files.copyFile(sandbox.path("fehlt.zip"), file); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { files.copyFile(file, sandbox.path("fehlt\\datei.txt")); }),
              err::kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { files.deleteFile(sandbox.path("fehlt.zip")); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { files.modificationTime(sandbox.path("fehlt.zip")); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { files.createDirectory(sandbox.path("a\\b")); }),
              err::kPathNotFound);
    // A file where the directory is to be.
    EXPECT_NE(ErrorNumberOf([&] { files.createDirectory(file); }), 0);

    const KernelHandle holder{CreateFileW(ApiPath(file).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    EXPECT_EQ(ErrorNumberOf([&] { files.deleteFile(file); }), err::kPermissionDenied);
    EXPECT_EQ(ErrorNumberOf([&] { files.createFile(file); }), err::kPermissionDenied);
}

TEST(Win32FileSystemTest, WritesReplacesAndTellsFilesFromDirectories) {
    const Sandbox sandbox;
    Win32FileSystem files;
    const std::string directory = sandbox.path("KEYTABS");
    files.createDirectory(directory);
    files.createDirectory(directory); // already there: fine
    EXPECT_TRUE(files.directoryExists(directory));
    EXPECT_FALSE(files.fileExists(directory));

    const std::string target = directory + "\\ORVTABS.MDB";
    const std::string temporary = directory + "\\ORVTABS.MDB.tmp";
    WriteBytes(target, "alte Tabelle, die laenger ist");
    auto output = files.createFile(temporary);
    output->write("neue ", 5);
    output->write("Tabelle", 7);
    output->close();
    files.replaceFile(temporary, target);
    EXPECT_EQ(ReadBytes(target), "neue Tabelle");
    EXPECT_FALSE(files.fileExists(temporary));
    EXPECT_TRUE(files.fileExists(target));
    EXPECT_FALSE(files.directoryExists(target));

    // Creating an existing file empties it.
    files.createFile(target)->close();
    EXPECT_EQ(ReadBytes(target), "");
}

TEST(Win32FileSystemTest, ChangesAFileInPlace) {
    const Sandbox sandbox;
    const std::string archive = sandbox.path("orvupd.zip");
    WriteBytes(archive, "0123456789");
    Win32FileSystem files;
    {
        const auto file = files.openForUpdate(archive);
        EXPECT_EQ(file->size(), 10u);
        file->writeAt(2, "ab", 2);
        std::string read(4, '\0');
        file->readAt(1, read.data(), read.size());
        EXPECT_EQ(read, "1ab4");
        EXPECT_EQ(ErrorNumberOf([&] { file->readAt(8, read.data(), read.size()); }),
                  err::kPastEndOfFile);
        // Nobody else may open it meanwhile, the updater's own probe included.
        EXPECT_EQ(ErrorNumberOf([&] { files.probeOpen(archive); }), err::kPermissionDenied);
        file->truncate(6);
        EXPECT_EQ(file->size(), 6u);
        file->writeAt(8, "xy", 2); // past the end: the gap is filled with zeros
        file->close();
    }
    EXPECT_EQ(ReadBytes(archive), std::string("01ab45\0\0xy", 10));
    EXPECT_EQ(ErrorNumberOf([&] { files.openForUpdate(sandbox.path("fehlt.zip")); }),
              err::kFileNotFound);
}

TEST(Win32FileSystemTest, HandlesUmlautsInPaths) {
    const Sandbox sandbox;
    Win32FileSystem files;
    const std::string directory = sandbox.path("Größe Ä");
    files.createDirectory(directory);
    WriteBytes(directory + "\\Übersicht.txt", "15.03.2019 3.1\r\n");
    EXPECT_EQ(files.readFirstLine(directory + "\\Übersicht.txt"), "15.03.2019 3.1");
    files.copyFile(directory + "\\Übersicht.txt", directory + "\\Kopie ß.txt");
    EXPECT_TRUE(files.fileExists(directory + "\\Kopie ß.txt"));
    EXPECT_TRUE(files.fileExists(directory + "\\übersicht.TXT")); // without regard to case
}

TEST(Win32FileSystemTest, WorksInDeepInstallations) {
    const Sandbox sandbox;
    Win32FileSystem files;
    std::string directory = sandbox.path();
    while (directory.size() < 400) {
        directory += "\\Verzeichnis mit langem Namen";
        files.createDirectory(directory);
    }
    const std::string archive = directory + "\\orvupd.zip";
    auto output = files.createFile(archive);
    output->write("15.03.2019 3.1\r\n", 16);
    output->close();
    EXPECT_TRUE(files.fileExists(archive));
    files.probeOpen(archive);
    EXPECT_EQ(files.readFirstLine(archive), "15.03.2019 3.1");
    files.copyFile(archive, archive + "$$$");
    output = files.createFile(archive);
    output->write("15.03.2019 3.1\r\n", 16);
    output->setModificationTime(1552651200);
    output->close();
    EXPECT_EQ(files.modificationTime(archive), UnixSecondsToFileTime(1552651200));
    files.deleteFile(archive);
    files.replaceFile(archive + "$$$", archive);
    EXPECT_TRUE(files.fileExists(archive));
    EXPECT_EQ(files.nativePath(archive).rfind("\\\\?\\", 0), 0u) << "long form for libzip";
}

TEST(Win32FileSystemTest, ShortPathsGoToLibrariesAsTheyAre) {
    Win32FileSystem files;
    EXPECT_EQ(files.nativePath("C:\\ORVEN32\\update\\orvupd.zip"),
              "C:\\ORVEN32\\update\\orvupd.zip");
}

// ---- Process, INI and Windows directory -------------------------------------------------------

struct IniCase {
    const char* what;
    const char* key;
    std::size_t bufferSize;
    std::string value;
};

const IniCase kIniCases[] = {
    {"value as written", "Pfad1", 255, "D:\\Daten\\ORVEN"},
    {"ANSI umlauts", "Pfad2", 255, "D:\\Bücher"},
    {"empty value", "Pfad3", 255, ""},
    {"missing key gives the default", "Pfad4", 255, "<vorgabe>"},
    {"cut to the buffer", "Lang", 255, std::string(254, 'L')},
    {"small buffer", "Pfad1", 4, "D:\\"},
};

class ProfileStringTest : public testing::TestWithParam<IniCase> {};

TEST_P(ProfileStringTest, ReadsTheApplicationsIni) {
    const IniCase& c = GetParam();
    const Sandbox sandbox;
    const std::string ini = sandbox.path("orven32.ini");
    WriteBytes(ini, "[ORVEN]\r\nPfad1=D:\\Daten\\ORVEN\r\nPfad2=D:\\B\xFC"
                    "cher\r\nPfad3=\r\nLang=" +
                        std::string(300, 'L') + "\r\n");
    Win32Platform platform{GetModuleHandleW(nullptr)};
    EXPECT_EQ(platform.profileString("ORVEN", c.key, "<vorgabe>", c.bufferSize, ini), c.value)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, ProfileStringTest, testing::ValuesIn(kIniCases));

TEST(Win32PlatformTest, MissingIniGivesTheDefault) {
    const Sandbox sandbox;
    Win32Platform platform{GetModuleHandleW(nullptr)};
    EXPECT_EQ(platform.profileString("ORVEN", "Pfad1", "", 255, sandbox.path("orven32.ini")), "");
}

TEST(Win32PlatformTest, WindowsDirectoryFillsTheBuffer) {
    Win32Platform platform{GetModuleHandleW(nullptr)};
    std::string buffer(255, ' ');
    const std::size_t length = platform.windowsDirectory(buffer);
    const std::string directory = text::Left(buffer, length);
    ASSERT_GT(length, 2u);
    EXPECT_NE(directory.back(), '\\');
    EXPECT_TRUE(platform.files().directoryExists(directory)) << directory;
    EXPECT_EQ(text::Len(buffer), 255u);

    std::string tooSmall(2, ' ');
    EXPECT_EQ(platform.windowsDirectory(tooSmall), length + 1);
    EXPECT_EQ(tooSmall, "  ");
}

// A file that another program opened without sharing deletion can neither be replaced nor moved
// aside; one that is only read, or shared for deletion, can.
TEST(Win32FileSystemTest, ProbeForReplacingTellsHeldFilesFromSharedOnes) {
    struct ReplaceCase {
        const char* what;
        DWORD sharing;
        int number; // 0: the file can be replaced
    };
    const ReplaceCase kCases[] = {
        {"opened without sharing", 0, err::kPermissionDenied},
        {"opened as a database engine does", FILE_SHARE_READ | FILE_SHARE_WRITE,
         err::kPermissionDenied},
        {"opened sharing deletion", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0},
    };
    for (const ReplaceCase& c : kCases) {
        const Sandbox sandbox;
        const std::string path = sandbox.path("ORVEN.MDB");
        WriteBytes(path, "alt");
        const KernelHandle holder{CreateFileW(ApiPath(path).c_str(), GENERIC_READ, c.sharing,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                              nullptr)};
        ASSERT_TRUE(holder.valid()) << c.what;
        Win32FileSystem files;
        EXPECT_EQ(ErrorNumberOf([&] { files.probeReplace(path); }), c.number) << c.what;
    }
    const Sandbox sandbox;
    Win32FileSystem files;
    EXPECT_EQ(ErrorNumberOf([&] { files.probeReplace(sandbox.path("fehlt.mdb")); }),
              err::kFileNotFound);
}

// One updater at a time for an installation, whatever the spelling of its folder, and on
// whichever PC or in whichever session it runs: the claim is a lock file in the update folder
// that no one else may open. It goes when its holder lets go; one that nobody holds (left by a
// run that lost its power) is taken over; without an update folder the run goes on unclaimed.
TEST(Win32PlatformTest, ClaimsAnInstallationForOneRunAtATime) {
    const Sandbox sandbox;
    std::filesystem::create_directories(Wide(sandbox.path("ORVEN32\\update")));
    std::filesystem::create_directories(Wide(sandbox.path("ORVEN33\\update")));
    const std::wstring lock = Wide(sandbox.path("ORVEN32\\update\\orvupd.lock"));
    Win32Platform platform{GetModuleHandleW(nullptr)};
    {
        const auto first = platform.claimInstallation(sandbox.path("ORVEN32"));
        ASSERT_NE(first, nullptr);
        EXPECT_NE(GetFileAttributesW(lock.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(platform.claimInstallation(sandbox.path("orven32")), nullptr);
        EXPECT_NE(platform.claimInstallation(sandbox.path("ORVEN33")), nullptr);
    }
    EXPECT_EQ(GetFileAttributesW(lock.c_str()), INVALID_FILE_ATTRIBUTES) << "the lock stays";
    {
        // Another program (another PC's updater) holds the lock file.
        const KernelHandle other{CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr)};
        ASSERT_TRUE(other.valid());
        EXPECT_EQ(platform.claimInstallation(sandbox.path("ORVEN32")), nullptr);
    }
    // Left behind, held by no one.
    EXPECT_NE(GetFileAttributesW(lock.c_str()), INVALID_FILE_ATTRIBUTES);
    {
        const auto taken = platform.claimInstallation(sandbox.path("ORVEN32"));
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(platform.claimInstallation(sandbox.path("ORVEN32")), nullptr);
    }
    EXPECT_EQ(GetFileAttributesW(lock.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(platform.claimInstallation(sandbox.path("OHNE")), nullptr);
}

TEST(Win32PlatformTest, VersionComesFromTheVersionResource) {
    Win32Platform platform{GetModuleHandleW(nullptr)};
    const ProgramVersion version = platform.version(); // FILEVERSION 7,8,9,10
    EXPECT_EQ(version.major, 7);
    EXPECT_EQ(version.minor, 8);
    EXPECT_EQ(version.revision, 9);
}

TEST(Win32PlatformTest, OwnDirectoryHoldsTheProgram) {
    Win32Platform platform{GetModuleHandleW(nullptr)};
    const std::string directory = platform.ownDirectory();
    EXPECT_NE(directory.back(), '\\');
    EXPECT_TRUE(platform.files().fileExists(directory + "\\win32_front_end_test.exe"));
}

// ---- Status window ----------------------------------------------------------------------------

class RecordingListener : public StatusTextListener {
  public:
    void statusTextChanged(const std::string& text) override {
        texts.push_back(text);
        if (fail) throw RuntimeError(err::kOverflow);
    }
    std::vector<std::string> texts;
    bool fail = false;
};

std::wstring TextOf(HWND window) {
    std::wstring text(256, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), 256)));
    return text;
}

// The child windows of the status window, by class name.
std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

HWND StatusWindow() {
    return FindWindowW(L"OrvenUpdateStart", nullptr);
}

TEST(Win32StartViewTest, LoadsTheLayoutAtTheScreensResolution) {
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    const HWND window = StatusWindow();
    ASSERT_NE(window, nullptr);
    const int dpi = GetDeviceCaps(WindowDc{nullptr}.get(), LOGPIXELSY);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, TwipsToPixels(4575, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(1215, dpi));
    EXPECT_FALSE(IsWindowVisible(window)) << "shown only when the model says so";
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU, 0) << "no close button";

    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_FLOAT_EQ(view.windowSize().width, PixelsToTwips(outer.right - outer.left, dpi));
    EXPECT_FLOAT_EQ(view.screenSize().width, PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), dpi));
    view.move(1500, 3000);
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, TwipsToPixels(1500, dpi));
    EXPECT_EQ(outer.top, TwipsToPixels(3000, dpi));

    // In tab order: txtStatus, Frame1, Label1 (picProgress lies in Frame1).
    const std::vector<HWND> children = ChildrenOf(window);
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(TextOf(children[0]), L"Text1");
    EXPECT_EQ(TextOf(children[1]), L"Update-Status");
    EXPECT_EQ(TextOf(children[2]), L"Label1");
    EXPECT_EQ(ChildrenOf(children[1]).size(), 1u);
    view.unload();
    EXPECT_EQ(StatusWindow(), nullptr);
}

TEST(Win32StartViewTest, ALaterLoadStartsFromTheLayoutAgain) {
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    view.setTitle("ORVEN-Update 3.0.0");
    view.setCaption(Control::Label1, "ORVEN wird gestartet, bitte warten ...");
    view.setCaption(Control::Frame1, "Update wird ausgeführt, bitte warten ...");
    view.setVisible(Control::Frame1, false);
    EXPECT_EQ(TextOf(StatusWindow()), L"ORVEN-Update 3.0.0");
    EXPECT_EQ(TextOf(ChildrenOf(StatusWindow())[1]), L"Update wird ausgeführt, bitte warten ...");
    view.unload();

    view.load(listener);
    const std::vector<HWND> children = ChildrenOf(StatusWindow());
    EXPECT_EQ(TextOf(StatusWindow()), L"ORVEN-Update");
    EXPECT_EQ(TextOf(children[1]), L"Update-Status");
    EXPECT_TRUE(GetWindowLongW(children[1], GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(TextOf(children[2]), L"Label1");
    EXPECT_TRUE(listener.texts.empty()) << "loading is no change of the text";
}

TEST(Win32StartViewTest, StatusTextReachesTheListener) {
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    view.setStatusText("45");
    view.setStatusText("100");
    view.setStatusText("Grüße");
    EXPECT_EQ(listener.texts, (std::vector<std::string>{"45", "100", "Grüße"}));

    // An error of the reaction reaches the one who set the text.
    listener.fail = true;
    EXPECT_EQ(ErrorNumberOf([&] { view.setStatusText("50"); }), err::kOverflow);
    listener.fail = false;
    view.setStatusText("51");
    EXPECT_EQ(listener.texts.back(), "51");
}

TEST(Win32StartViewTest, LetsPendingMessagesThroughDuringQuietWork) {
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    view.show();
    ASSERT_TRUE(PostMessageW(StatusWindow(), WM_NULL, 0, 0));
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
    view.letMessagesThrough();
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(listener.texts.empty()) << "no text changed";
    view.unload();
}

// The colour of a picture column, one pixel below the top edge.
COLORREF PixelAt(const GdiSurface& surface, int x, int y) {
    const WindowDc screen{nullptr};
    const MemoryDc dc{screen.get()};
    const Bitmap bitmap{CreateCompatibleBitmap(screen.get(), 1000, 200)};
    const Selection selected{dc.get(), bitmap.get()};
    surface.paint(dc.get());
    return GetPixel(dc.get(), x, y);
}

struct BarCase {
    std::int32_t value;
    int barColumns; // at 96 DPI; the drawing area is 274 pixels wide there
};

const BarCase kBarCases[] = {
    {0, 0},     {1, 4}, // 4110 / 100 * 1 = 41.1 twips: pixels 0..3 (both edges of the box)
    {50, 138},          // 2055 twips = 137 pixels, and the pixel the box ends on
    {100, 274}, {250, 274},
};

class ProgressPictureTest : public testing::TestWithParam<BarCase> {};

TEST_P(ProgressPictureTest, PaintsTheBarIntoThePersistentPicture) {
    const BarCase& c = GetParam();
    const int dpi = GetDeviceCaps(WindowDc{nullptr}.get(), LOGPIXELSY);
    if (dpi != USER_DEFAULT_SCREEN_DPI) GTEST_SKIP() << "bar columns are counted at 96 DPI";
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    auto& surface = static_cast<GdiSurface&>(view.progressSurface());
    EXPECT_FLOAT_EQ(surface.ScaleWidth(), 4110);
    EXPECT_FLOAT_EQ(surface.ScaleHeight(), 165); // 15 pixels less the sunken border

    ui::DrawProgress(surface, c.value, 0, 100, false);
    constexpr COLORREF kBar = 0xC00000;
    constexpr COLORREF kBack = 0xDEEFEF;
    if (c.barColumns > 0) {
        EXPECT_EQ(PixelAt(surface, c.barColumns - 1, 1), kBar) << c.value;
    }
    if (c.barColumns < 274) {
        EXPECT_EQ(PixelAt(surface, c.barColumns, 1), kBack) << c.value;
    }
    EXPECT_EQ(PixelAt(surface, 0, 0), c.barColumns > 0 ? kBar : kBack) << c.value;

    // The picture stays while the frame is hidden and is cleared by the next load.
    view.setVisible(Control::Frame1, false);
    if (c.barColumns > 0) {
        EXPECT_EQ(PixelAt(surface, 0, 5), kBar);
    }
    view.unload();
    view.load(listener);
    EXPECT_EQ(PixelAt(surface, 0, 5), kBack);
}

INSTANTIATE_TEST_SUITE_P(Win32, ProgressPictureTest, testing::ValuesIn(kBarCases));

// Counts the WM_PAINT messages of a window, in front of its own window procedure.
class PaintCounter {
  public:
    explicit PaintCounter(HWND window) : window_(window) {
        SetPropW(window, kProperty, this);
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure)));
    }
    ~PaintCounter() {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropW(window_, kProperty);
    }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    // The paints since the last call, after the pending messages went through.
    int take() {
        PumpPendingMessages();
        return std::exchange(paints_, 0);
    }

  private:
    static constexpr const wchar_t* kProperty = L"OrvenUpdateTestPaints";

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<PaintCounter*>(GetPropW(window, kProperty));
        if (message == WM_PAINT) ++self->paints_;
        return CallWindowProcW(self->previous_, window, message, wParam, lParam);
    }

    HWND window_;
    WNDPROC previous_ = nullptr;
    int paints_ = 0;
};

TEST(Win32StartViewTest, RepaintsTheBarOnlyWhenItsPixelsChange) {
    struct RepaintCase {
        std::vector<std::string> texts; // written into txtStatus in turn, from the empty bar
        int paints;                     // of picProgress: one for each change of its pixels
    };
    const RepaintCase kCases[] = {
        {{"0"}, 0},                   // the bar at 0 is the cleared picture of the load
        {{"0", "1", "2", "3"}, 3},    // each per cent changes the bar and its label
        {{"50", "50.2", "49.6"}, 1},  // texts of the same rounded value
        {{"100", "250", "100"}, 1},   // clamped to the same end
        {{"-5", "0", "-1"}, 0},       // all empty
        {{"30", "31", "30"}, 3},      // back again is a change too
        {{"99", "100", "0", "1"}, 4}, // the next row starts from the empty bar
    };
    Win32StartView view{GetModuleHandleW(nullptr)};
    ui::StartWindow start{view, ProgramVersion{3, 0, 0}};
    start.show();
    const std::vector<HWND> frame = ChildrenOf(ChildrenOf(StatusWindow())[1]);
    ASSERT_EQ(frame.size(), 1u);
    PaintCounter counter{frame[0]};
    for (const RepaintCase& c : kCases) {
        // From the empty bar; the paints of getting there, however many the system sends,
        // do not count.
        start.statusTarget().setText("-1");
        for (int settle = 0; settle < 20; ++settle) {
            Sleep(20);
            if (counter.take() == 0) break;
        }
        int paints = 0;
        for (const std::string& text : c.texts) {
            start.statusTarget().setText(text);
            paints += counter.take();
        }
        EXPECT_EQ(paints, c.paints) << testing::PrintToString(c.texts);
    }
}

TEST(GdiSurfaceTest, PrintsInTheForeColourAndLeavesTheBarBehindTheLetters) {
    Win32StartView view{GetModuleHandleW(nullptr)};
    RecordingListener listener;
    view.load(listener);
    auto& surface = static_cast<GdiSurface&>(view.progressSurface());
    surface.Cls();
    EXPECT_GT(surface.TextWidth("100 %"), surface.TextWidth("1 %"));
    EXPECT_GT(surface.TextHeight("1 %"), 0);
    surface.LineFilledBox(0, 0, surface.ScaleWidth(), surface.ScaleHeight(), 0xC00000);
    surface.SetForeColor(0xFFFFFF);
    surface.SetCurrentX(300);
    surface.SetCurrentY(0);
    surface.Print("100 %");
    EXPECT_FLOAT_EQ(surface.CurrentX(), 0) << "the next print starts a line";
    EXPECT_FLOAT_EQ(surface.CurrentY(), surface.TextHeight("100 %"));

    const int dpi = GetDeviceCaps(WindowDc{nullptr}.get(), LOGPIXELSY);
    const int left = TwipsToPixels(300, dpi);
    const int right = left + TwipsToPixels(surface.TextWidth("100 %"), dpi);
    int white = 0;
    int bar = 0;
    for (int x = left; x < right; ++x) {
        for (int y = 0; y < TwipsToPixels(surface.ScaleHeight(), dpi); ++y) {
            const COLORREF pixel = PixelAt(surface, x, y);
            white += pixel == 0xFFFFFF;
            bar += pixel == 0xC00000;
        }
    }
    EXPECT_GT(white, 10) << "letters in the fore colour";
    EXPECT_GT(bar, white) << "the bar shows between the letters";
    EXPECT_EQ(PixelAt(surface, left - 1, 1), 0xC00000u);
}

} // namespace
} // namespace orv::win32
