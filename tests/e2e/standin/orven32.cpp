// A stand-in for the application orven32.exe. Every start appends a line to started.log beside
// the program: "started argc=N args=<text after the program name>". With
// --hold PATH --seconds N it then plays the running application that keeps a file open: it opens
// the file without sharing it and keeps it for N seconds; with --load PATH --seconds N it loads
// the file as a running program loads a library and keeps it loaded for N seconds.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

#include "driver/transcript.h"
#include "win32/handles.h"
#include "win32/paths.h"

namespace {

using orv::e2e::Utf8;

class ArgList {
  public:
    explicit ArgList(const wchar_t* commandLine) : argv_(CommandLineToArgvW(commandLine, &argc_)) {}
    ~ArgList() {
        if (argv_ != nullptr) LocalFree(argv_);
    }
    ArgList(const ArgList&) = delete;
    ArgList& operator=(const ArgList&) = delete;
    int count() const { return argv_ == nullptr ? 0 : argc_; }
    std::wstring_view operator[](int i) const { return argv_[i]; }

  private:
    int argc_ = 0;
    wchar_t** argv_;
};

// The raw text after the program name, as the program received it.
std::wstring_view ArgumentText(std::wstring_view commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        i = commandLine.find(L'"', 1);
        i = (i == std::wstring_view::npos) ? commandLine.size() : i + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t')
            ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t'))
        ++i;
    return commandLine.substr(i);
}

std::wstring LogPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    // Started from a share, Wine names the program in a form of its own.
    const std::u16string plain = orv::win32::PlainFormOf(std::u16string(path.begin(), path.end()));
    path.assign(plain.begin(), plain.end());
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"started.log";
}

void Log(const std::string& line) {
    const orv::win32::KernelHandle log(CreateFileW(LogPath().c_str(), FILE_APPEND_DATA,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Escaped(std::wstring_view text) {
    std::string result;
    for (const char c : Utf8(text)) {
        if (c == '\\' || c == '"') result += '\\';
        result += c;
    }
    return result;
}

// Opens the file without sharing it. The driver looks at the file every few milliseconds to see
// whether it is held yet, and its look shares nothing with an open that shares nothing: a
// sharing violation is tried again for a while.
orv::win32::KernelHandle OpenUnshared(const std::wstring& path) {
    const ULONGLONG until = GetTickCount64() + 5000;
    for (;;) {
        orv::win32::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid() || GetLastError() != ERROR_SHARING_VIOLATION ||
            GetTickCount64() >= until) {
            return file;
        }
        Sleep(10);
    }
}

int Hold(const std::wstring& path, int seconds) {
    const orv::win32::KernelHandle file = OpenUnshared(path);
    if (!file.valid()) {
        Log("hold-failed path=\"" + Escaped(path) + "\" error=" + std::to_string(GetLastError()));
        return 1;
    }
    Log("holding path=\"" + Escaped(path) + "\" seconds=" + std::to_string(seconds));
    Sleep(static_cast<DWORD>(seconds) * 1000);
    Log("released path=\"" + Escaped(path) + "\"");
    return 0;
}

// Plays a running program that has loaded the file as a library: mapped as an image, which
// keeps it from being overwritten or deleted where it stands.
int Load(const std::wstring& path, int seconds) {
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (library == nullptr) {
        Log("load-failed path=\"" + Escaped(path) + "\" error=" + std::to_string(GetLastError()));
        return 1;
    }
    Log("loaded path=\"" + Escaped(path) + "\" seconds=" + std::to_string(seconds));
    Sleep(static_cast<DWORD>(seconds) * 1000);
    FreeLibrary(library);
    Log("unloaded path=\"" + Escaped(path) + "\"");
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* commandLine = GetCommandLineW();
    const ArgList args(commandLine);
    Log("started argc=" + std::to_string(args.count() > 0 ? args.count() - 1 : 0) + " args=\"" +
        Escaped(ArgumentText(commandLine)) + "\"");
    if (args.count() == 5 && args[1] == L"--hold" && args[3] == L"--seconds")
        return Hold(std::wstring(args[2]), _wtoi(std::wstring(args[4]).c_str()));
    if (args.count() == 5 && args[1] == L"--load" && args[3] == L"--seconds")
        return Load(std::wstring(args[2]), _wtoi(std::wstring(args[4]).c_str()));
    return 0;
}
