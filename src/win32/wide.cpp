#include "win32/wide.h"

#include "platform/runtime_error.h"
#include "win32/encoding.h"
#include "win32/error_codes.h"
#include "win32/paths.h"

namespace orv::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 on Windows");
static_assert(code::kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(code::kPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(code::kAccessDenied == ERROR_ACCESS_DENIED);
static_assert(code::kInvalidDrive == ERROR_INVALID_DRIVE);
static_assert(code::kWriteProtect == ERROR_WRITE_PROTECT);
static_assert(code::kSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(code::kLockViolation == ERROR_LOCK_VIOLATION);
static_assert(code::kHandleDiskFull == ERROR_HANDLE_DISK_FULL);
static_assert(code::kBadNetPath == ERROR_BAD_NETPATH);
static_assert(code::kDiskFull == ERROR_DISK_FULL);
static_assert(code::kDeletePending == ERROR_DELETE_PENDING);

std::wstring Wide(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

std::string Utf8(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring ApiPath(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (wide.size() < kLongPathFrom) return wide;
    // The long form skips the system's clean-up of the path, so the path is made full first.
    std::wstring full(wide.size() + 1, L'\0');
    for (;;) {
        const DWORD needed =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (needed == 0) return wide;
        if (needed < full.size()) {
            full.resize(needed);
            break;
        }
        full.resize(needed);
    }
    const std::u16string longForm = WithLongPathPrefix(std::u16string(full.begin(), full.end()));
    return std::wstring(longForm.begin(), longForm.end());
}

void RaiseWin32Error(DWORD code) {
    throw SystemError(ErrorNumberFor(code), static_cast<int>(code), CauseFor(code));
}

void RaiseLastError() {
    RaiseWin32Error(GetLastError());
}

} // namespace orv::win32
