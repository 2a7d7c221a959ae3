// A stand-in for a virus scanner (or an indexer, a sync client): it watches a folder tree and
// opens every file that appears or changes there for a few hundred milliseconds, sharing it for
// reading only, as such programs do. Meanwhile no other program may write, move or remove the
// file. Usage: orvscan.exe ROOT HOLD_MS STOP_FILE LOG_FILE. It ends once STOP_FILE exists and
// writes one line per file it opened into LOG_FILE.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "win32/handles.h"

namespace {

using orv::win32::FindHandle;
using orv::win32::KernelHandle;

struct Seen {
    ULONGLONG size = 0;
    ULONGLONG written = 0;
    bool operator==(const Seen&) const = default;
};

// Every file below the folder with its size and last write.
void Walk(const std::wstring& folder, std::map<std::wstring, Seen>& files) {
    WIN32_FIND_DATAW found{};
    const FindHandle search{FindFirstFileW((folder + L"\\*").c_str(), &found)};
    if (!search.valid()) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            Walk(path, files);
            continue;
        }
        files[path] = {(static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                       (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                           found.ftLastWriteTime.dwLowDateTime};
    } while (FindNextFileW(search.get(), &found));
}

struct Held {
    KernelHandle file;
    ULONGLONG until;
};

void Note(const std::wstring& logFile, const std::wstring& line) {
    const KernelHandle log{CreateFileW(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!log.valid()) return;
    const std::wstring text = line + L"\r\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(log.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    const std::wstring root = argv[1];
    const ULONGLONG holdMs = static_cast<ULONGLONG>(_wtoi(argv[2]));
    const std::wstring stopFile = argv[3];
    const std::wstring logFile = argv[4];

    std::map<std::wstring, Seen> before;
    Walk(root, before);
    std::map<std::wstring, Seen> pending; // changed, not yet opened (the writer still has it)
    std::vector<Held> held;
    Note(logFile, L"watching " + root);
    while (GetFileAttributesW(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::map<std::wstring, Seen> now;
        Walk(root, now);
        for (const auto& [path, seen] : now) {
            const auto old = before.find(path);
            if (old == before.end() || !(old->second == seen)) pending[path] = seen;
        }
        before = std::move(now);
        const ULONGLONG tick = GetTickCount64();
        for (auto it = pending.begin(); it != pending.end();) {
            KernelHandle file{CreateFileW(it->first.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
            const DWORD error = GetLastError();
            if (file.valid()) {
                Note(logFile, L"opened " + it->first);
                held.push_back({std::move(file), tick + holdMs});
                it = pending.erase(it);
            } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                it = pending.erase(it);
            } else {
                ++it; // the writer still has it: next time
            }
        }
        std::erase_if(held, [tick](const Held& h) { return h.until <= tick; });
        Sleep(10);
    }
    Note(logFile, L"stopped");
    return 0;
}
