#pragma once
// UTF-8 <-> the wide strings of the W calls, and the platform's run-time errors.

#include <windows.h>

#include <string>
#include <string_view>

namespace orv::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The path as the file calls take it: long paths in their long form, so that deep
// installations work.
std::wstring ApiPath(std::string_view path);

// Raises the updater's run-time error for a failed Win32 call with that error code.
[[noreturn]] void RaiseWin32Error(DWORD code);
// Raises it for the error of the call that just failed (GetLastError).
[[noreturn]] void RaiseLastError();

} // namespace orv::win32
