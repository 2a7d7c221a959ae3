#include "win32/win32_platform.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "win32/command_line.h"
#include "win32/encoding.h"
#include "win32/error_codes.h"
#include "win32/handles.h"
#include "win32/message_pump.h"
#include "win32/paths.h"
#include "win32/string_buffer.h"
#include "win32/wide.h"

namespace orv::win32 {
namespace {

// The full path of the running executable, however long.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) RaiseLastError();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::u16string ToUtf16(std::wstring_view wide) {
    return std::u16string(wide.begin(), wide.end());
}

// The version of the executable's version resource: major.minor.revision of FILEVERSION.
bool ResourceVersion(ProgramVersion& version) {
    const std::wstring path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &block, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    version.major = HIWORD(info->dwFileVersionMS);
    version.minor = LOWORD(info->dwFileVersionMS);
    version.revision = HIWORD(info->dwFileVersionLS);
    return true;
}

// The claim is the lock file orvupd.lock in the installation's update folder, held open and
// shared with no one, so that every updater that can reach the installation sees it: a second
// PC on the same share, another user's session on a terminal server, a second start on this
// desk. The system closes the file when the process ends however it ends, and the file goes
// with its last handle; a file that a power cut left behind is held by no one, and taken over.
class LockFileClaim : public InstallationClaim {
  public:
    LockFileClaim(std::wstring path, KernelHandle file, bool removeAtEnd)
        : path_(std::move(path)), file_(std::move(file)), removeAtEnd_(removeAtEnd) {}
    ~LockFileClaim() override {
        file_.reset();
        if (removeAtEnd_) DeleteFileW(path_.c_str());
    }
    LockFileClaim(const LockFileClaim&) = delete;
    LockFileClaim& operator=(const LockFileClaim&) = delete;

  private:
    std::wstring path_;
    KernelHandle file_;
    bool removeAtEnd_;
};

KernelHandle OpenLockFile(const std::wstring& path, DWORD flags) {
    return KernelHandle{CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | flags, nullptr)};
}

bool IsHeldCode(DWORD code) {
    return CauseFor(code) == Cause::Held;
}

} // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : start_(instance), launcher_(instance) {}

Answer Win32Platform::showMessageBox(const std::string& text, const std::string& title, int style) {
    const int answer = MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(),
                                   static_cast<UINT>(style) | MB_SETFOREGROUND);
    if (answer == 0) RaiseLastError();
    switch (answer) {
    case IDYES:
        return Answer::Yes;
    case IDNO:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

// A program started from a deep folder or from a share may be told its path in a long or
// device form; the updater names its folders (and shows them) as the user knows them.
std::string Win32Platform::ownDirectory() {
    return Utf16ToUtf8(DirectoryOf(PlainFormOf(ToUtf16(ModulePath()))));
}

std::string Win32Platform::commandLine() {
    return Utf16ToUtf8(ArgumentsOf(ToUtf16(GetCommandLineW())));
}

ProgramVersion Win32Platform::version() {
    ProgramVersion version;
    if (ResourceVersion(version)) return version;
    // Without a readable resource, the version this program was built as.
    return ProgramVersion{ORV_VERSION_MAJOR, ORV_VERSION_MINOR, ORV_VERSION_PATCH};
}

std::string Win32Platform::profileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::size_t bufferSize,
                                         const std::string& file) {
    if (bufferSize == 0) return {};
    const DWORD size =
        static_cast<DWORD>(std::min<std::size_t>(bufferSize, std::numeric_limits<DWORD>::max()));
    std::wstring buffer(size, L'\0');
    const DWORD length = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                                  Wide(defaultValue).c_str(), buffer.data(), size,
                                                  Wide(file).c_str());
    buffer.resize(std::min<std::size_t>(length, size - 1));
    return Utf8(buffer);
}

std::size_t Win32Platform::windowsDirectory(std::string& buffer) {
    std::wstring directory(MAX_PATH, L'\0');
    for (;;) {
        const UINT length =
            GetWindowsDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
        if (length == 0) RaiseLastError();
        if (length < directory.size()) {
            directory.resize(length);
            break;
        }
        directory.resize(length);
    }
    return CopyToBuffer(Utf8(directory), buffer);
}

std::unique_ptr<InstallationClaim> Win32Platform::claimInstallation(const std::string& installDir) {
    const std::wstring path = ApiPath(installDir + "\\update\\orvupd.lock");
    KernelHandle file = OpenLockFile(path, FILE_FLAG_DELETE_ON_CLOSE);
    if (file.valid()) return std::make_unique<LockFileClaim>(path, std::move(file), false);
    DWORD code = GetLastError();
    if (IsHeldCode(code)) return nullptr;
    if (code == ERROR_ACCESS_DENIED) {
        // Removal needs a right that a lock file of another user may not give; held open
        // without it, the file is removed at the end where it can be. A file that stays refused
        // is on its way out with the run that held it.
        file = OpenLockFile(path, 0);
        if (file.valid()) return std::make_unique<LockFileClaim>(path, std::move(file), true);
        code = GetLastError();
        if (IsHeldCode(code) || (code == ERROR_ACCESS_DENIED &&
                                 GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES))
            return nullptr;
    }
    return std::make_unique<InstallationClaim>(); // no place for the claim: unclaimed
}

void Win32Platform::pause(int milliseconds) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        PumpPendingMessages();
    }
}

} // namespace orv::win32
