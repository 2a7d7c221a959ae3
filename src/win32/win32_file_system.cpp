#include "win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "platform/paths.h"
#include "platform/placed_file.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "win32/encoding.h"
#include "win32/handles.h"
#include "win32/paths.h"
#include "win32/units.h"
#include "win32/wide.h"

namespace orv::win32 {
namespace {

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(ApiPath(path).c_str());
}

bool IsDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32OutputFile final : public OutputFile {
  public:
    Win32OutputFile(KernelHandle file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}

    void write(const char* data, std::size_t size) override {
        PlacedAt("Schreiben", path_, [&] {
            if (!file_.valid()) throw RuntimeError(err::kPathFileAccess);
            while (size > 0) {
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
                DWORD written = 0;
                if (!WriteFile(file_.get(), data, chunk, &written, nullptr)) RaiseLastError();
                if (written == 0) throw RuntimeError(err::kDiskFull);
                data += written;
                size -= written;
            }
        });
    }

    void setModificationTime(std::int64_t unixSeconds) override {
        PlacedAt("Zeitstempel setzen", path_, [&] {
            if (!file_.valid()) throw RuntimeError(err::kPathFileAccess);
            const auto ticks = static_cast<std::uint64_t>(UnixSecondsToFileTime(unixSeconds));
            const FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu),
                                static_cast<DWORD>(ticks >> 32)};
            if (!SetFileTime(file_.get(), nullptr, nullptr, &time)) RaiseLastError();
        });
    }

    void sync() override {
        PlacedAt("Auf den Datenträger schreiben", path_, [&] {
            if (!file_.valid()) throw RuntimeError(err::kPathFileAccess);
            if (!FlushFileBuffers(file_.get())) RaiseLastError();
        });
    }

    void close() override {
        if (!file_.reset()) PlacedAt("Schließen", path_, [] { RaiseLastError(); });
    }

  private:
    KernelHandle file_;
    std::string path_; // as the updater named it
};

// Reads and writes at explicit offsets, so the file position is never relied on.
class Win32RandomAccessFile final : public PlacedRandomAccessFile {
  public:
    Win32RandomAccessFile(KernelHandle file, std::string path)
        : PlacedRandomAccessFile(std::move(path)), file_(std::move(file)) {}

  private:
    std::uint64_t bareSize() override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(open(), &size)) RaiseLastError();
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    void bareTruncate(std::uint64_t size) override {
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(open(), end, nullptr, FILE_BEGIN)) RaiseLastError();
        if (!SetEndOfFile(open())) RaiseLastError();
    }

    void bareSync() override {
        if (!FlushFileBuffers(open())) RaiseLastError();
    }

    void bareClose() override {
        if (!file_.reset()) RaiseLastError();
    }

    void bareReadAt(std::uint64_t offset, char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            OVERLAPPED at = At(offset);
            DWORD read = 0;
            if (!ReadFile(open(), data, chunk, &read, &at)) {
                const DWORD code = GetLastError();
                if (code == ERROR_HANDLE_EOF) {
                    throw SystemError(err::kPastEndOfFile, static_cast<int>(code));
                }
                RaiseWin32Error(code);
            }
            if (read == 0) throw RuntimeError(err::kPastEndOfFile);
            data += read;
            size -= read;
            offset += read;
        }
    }

    void bareWriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            OVERLAPPED at = At(offset);
            DWORD written = 0;
            if (!WriteFile(open(), data, chunk, &written, &at)) RaiseLastError();
            if (written == 0) throw RuntimeError(err::kDiskFull);
            data += written;
            size -= written;
            offset += written;
        }
    }

    static OVERLAPPED At(std::uint64_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }

    HANDLE open() const {
        if (!file_.valid()) throw RuntimeError(err::kPathFileAccess);
        return file_.get();
    }

    KernelHandle file_;
};

} // namespace

void Win32FileSystem::probeOpen(const std::string& path) {
    PlacedAt("Prüfen", path, [&] {
        const KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr)};
        if (file.valid()) return;
        const DWORD code = GetLastError();
        // A directory refuses a file open with "access denied"; it is no file held by anyone.
        if (code == ERROR_ACCESS_DENIED && IsDirectory(Attributes(path))) {
            throw SystemError(err::kPathFileAccess, static_cast<int>(code));
        }
        RaiseWin32Error(code);
    });
}

// Replacing a file, or moving it aside, needs it opened for deletion: a program that opened
// the file without sharing deletion (a database engine, an editor) keeps both from happening,
// while a running program or a loaded library can still be moved aside.
void Win32FileSystem::probeReplace(const std::string& path) {
    PlacedAt("Prüfen", path, [&] {
        const KernelHandle file{CreateFileW(
            ApiPath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!file.valid()) RaiseWin32Error(GetLastError());
    });
}

void Win32FileSystem::probeWriteFolder(const std::string& folder) {
    PlacedAt("Schreibrecht prüfen", folder, [&] {
        const std::string probe =
            PathIn(folder, ".orvupd-probe-" + std::to_string(GetCurrentProcessId()) + ".tmp");
        const KernelHandle file{
            CreateFileW(ApiPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr)};
        if (file.valid()) return;
        const DWORD code = GetLastError();
        // Another run's probe of the same name: files can be made there.
        if (code == ERROR_FILE_EXISTS) return;
        RaiseWin32Error(code);
    });
}

void Win32FileSystem::removeAtRestart(const std::string& path) {
    // Refused without an administrator's rights: the next run removes the file then.
    MoveFileExW(ApiPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void Win32FileSystem::copyFile(const std::string& from, const std::string& to) {
    PlacedAt("Kopieren", PathPair(from, to), [&] {
        if (!CopyFileW(ApiPath(from).c_str(), ApiPath(to).c_str(), FALSE)) RaiseLastError();
    });
}

void Win32FileSystem::deleteFile(const std::string& path) {
    PlacedAt("Löschen", path, [&] {
        if (!DeleteFileW(ApiPath(path).c_str())) RaiseLastError();
    });
}

FileTime Win32FileSystem::modificationTime(const std::string& path) {
    return PlacedAt("Zeitstempel lesen", path, [&]() -> FileTime {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data)) {
            RaiseLastError();
        }
        return static_cast<FileTime>(
            (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime);
    });
}

std::string Win32FileSystem::readFirstLine(const std::string& path) {
    return text::FileTextToUtf8(FirstLineOf(*openForReading(path)));
}

void Win32FileSystem::replaceFile(const std::string& from, const std::string& to) {
    PlacedAt("Ersetzen", PathPair(from, to), [&] {
        if (!MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            RaiseLastError();
        }
    });
}

void Win32FileSystem::keepAs(const std::string& from, const std::string& to) {
    PlacedAt("Zweiten Namen anlegen", PathPair(from, to), [&] {
        if (CreateHardLinkW(ApiPath(to).c_str(), ApiPath(from).c_str(), nullptr)) return;
        const DWORD code = GetLastError();
        // A name that is taken stays as it is; volumes without hard links (FAT, some network
        // shares) get a copy.
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) RaiseWin32Error(code);
        copyFile(from, to);
    });
}

bool Win32FileSystem::readOnly(const std::string& path) {
    return PlacedAt("Schreibschutz lesen", path, [&]() -> bool {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) RaiseLastError();
        return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    });
}

void Win32FileSystem::setReadOnly(const std::string& path, bool readOnly) {
    PlacedAt("Schreibschutz setzen", path, [&] {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) RaiseLastError();
        const DWORD wanted = readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                      : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (wanted != attributes && !SetFileAttributesW(ApiPath(path).c_str(), wanted)) {
            RaiseLastError();
        }
    });
}

bool Win32FileSystem::fileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !IsDirectory(attributes);
}

bool Win32FileSystem::directoryExists(const std::string& path) {
    return IsDirectory(Attributes(path));
}

void Win32FileSystem::createDirectory(const std::string& path) {
    PlacedAt("Verzeichnis anlegen", path, [&] {
        if (CreateDirectoryW(ApiPath(path).c_str(), nullptr)) return;
        const DWORD code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS && directoryExists(path)) return;
        RaiseWin32Error(code);
    });
}

namespace {

std::unique_ptr<OutputFile> CreateForWriting(const std::string& path, DWORD disposition) {
    KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.valid()) return std::make_unique<Win32OutputFile>(std::move(file), path);
    const DWORD code = GetLastError();
    // Only a new file's name can be taken already.
    if (code == ERROR_FILE_EXISTS) throw SystemError(err::kFileExists, static_cast<int>(code));
    RaiseWin32Error(code);
}

} // namespace

std::unique_ptr<OutputFile> Win32FileSystem::createFile(const std::string& path) {
    return PlacedAt("Anlegen", path, [&] { return CreateForWriting(path, CREATE_ALWAYS); });
}

std::unique_ptr<OutputFile> Win32FileSystem::createNewFile(const std::string& path) {
    return PlacedAt("Anlegen", path, [&] { return CreateForWriting(path, CREATE_NEW); });
}

Volume Win32FileSystem::volumeOf(const std::string& folder) {
    return PlacedAt("Laufwerk abfragen", folder, [&]() -> Volume {
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(ApiPath(folder).c_str(), &available, nullptr, nullptr)) {
            RaiseLastError();
        }
        const std::u16string drive = DriveOf(Utf8ToUtf16(folder));
        std::wstring id(drive.begin(), drive.end());
        CharUpperBuffW(id.data(), static_cast<DWORD>(id.size()));
        return {Utf8(id), Utf16ToUtf8(drive), available.QuadPart};
    });
}

std::vector<std::string> Win32FileSystem::folderNames(const std::string& folder) {
    return PlacedAt("Verzeichnis lesen", folder, [&]() -> std::vector<std::string> {
        std::wstring pattern = ApiPath(folder);
        if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW found{};
        // One request fetches many entries at a time; the short 8.3 names are not asked for.
        const FindHandle search{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr,
                                                 FIND_FIRST_EX_LARGE_FETCH)};
        if (!search.valid()) RaiseLastError();
        std::vector<std::string> names;
        do {
            const std::wstring_view name = found.cFileName;
            if (name != L"." && name != L"..") names.push_back(Utf8(name));
        } while (FindNextFileW(search.get(), &found));
        if (GetLastError() != ERROR_NO_MORE_FILES) RaiseLastError();
        return names;
    });
}

std::unique_ptr<InputFile> Win32FileSystem::openForReading(const std::string& path) {
    return PlacedAt("Öffnen", path, [&]() -> std::unique_ptr<InputFile> {
        KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!file.valid()) RaiseLastError();
        return std::make_unique<Win32RandomAccessFile>(std::move(file), path);
    });
}

std::unique_ptr<RandomAccessFile> Win32FileSystem::openForUpdate(const std::string& path) {
    return PlacedAt("Öffnen zum Ändern", path, [&]() -> std::unique_ptr<RandomAccessFile> {
        KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!file.valid()) RaiseLastError();
        return std::make_unique<Win32RandomAccessFile>(std::move(file), path);
    });
}

std::string Win32FileSystem::nativePath(const std::string& path) {
    return Utf8(ApiPath(path));
}

void Win32FileSystem::syncFile(const std::string& path) {
    PlacedAt("Auf den Datenträger schreiben", path, [&] {
        // Flushing needs a handle that may write; the file is shared with whoever has it open.
        const KernelHandle file{CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr)};
        if (!file.valid()) RaiseLastError();
        if (!FlushFileBuffers(file.get())) RaiseLastError();
    });
}

void Win32FileSystem::syncFiles(const std::vector<std::string>& paths) {
    SyncConcurrently(paths, [this](const std::string& path) { Win32FileSystem::syncFile(path); });
}

// The moves of this file system write through (MOVEFILE_WRITE_THROUGH), and NTFS writes its
// log of names in order: once a move has returned, the names before it are on the disk too.
void Win32FileSystem::syncFolder(const std::string& folder) {
    PlacedAt("Verzeichnis auf den Datenträger schreiben", folder, [&] {
        if (!directoryExists(folder)) {
            throw SystemError(err::kPathNotFound, static_cast<int>(ERROR_PATH_NOT_FOUND));
        }
    });
}

// Flushing a whole volume needs an administrator's rights: files are flushed one by one.
bool Win32FileSystem::syncVolumes(const std::vector<std::string>& /*folders*/) {
    return false;
}

} // namespace orv::win32
