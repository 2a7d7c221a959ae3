// orvupd-check.exe: checks an update archive before it is shipped, in a console window.

#include <windows.h>

#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "check/report.h"
#include "win32/wide.h"
#include "win32/win32_file_system.h"

namespace {

// The full path of a file that the user named, as GetPrivateProfileString needs it: a bare
// name would be looked for in the Windows directory.
std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (needed == 0) return path;
        if (needed < full.size()) {
            full.resize(needed);
            return full;
        }
        full.resize(needed);
    }
}

std::string ProfileString(const std::string& file, const std::string& section,
                          const std::string& key, std::size_t bufferSize) {
    std::wstring buffer(bufferSize, L'\0');
    const DWORD length = GetPrivateProfileStringW(
        orv::win32::Wide(section).c_str(), orv::win32::Wide(key).c_str(), L"", buffer.data(),
        static_cast<DWORD>(buffer.size()), FullPath(orv::win32::Wide(file)).c_str());
    buffer.resize(length);
    return orv::win32::Utf8(buffer);
}

// UTF-8 text to standard output: as wide text to a console, as UTF-8 bytes to a file or pipe.
void Write(HANDLE output, const std::string& text) {
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        const std::wstring wide = orv::win32::Wide(text);
        DWORD written = 0;
        WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    try {
        orv::win32::Win32FileSystem files;
        std::vector<std::string> arguments;
        for (int i = 1; i < argc; ++i) {
            arguments.push_back(orv::win32::Utf8(argv[i]));
        }
        std::ostringstream report;
        const int status = orv::check::RunCheck(files, arguments, ProfileString, report);
        Write(output, report.str());
        return status;
    } catch (const std::exception& e) {
        // Only what the check cannot handle itself gets here (such as memory running out).
        Write(GetStdHandle(STD_ERROR_HANDLE), std::string("orvupd-check: ") + e.what() + "\n");
        return orv::check::kArchiveUnreadable;
    }
}
