#pragma once
// The updater's run-time error numbers for the error codes of the Win32 file calls.

#include "platform/runtime_error.h"

namespace orv::win32 {

// The Win32 codes that have a number of their own (values as GetLastError gives them).
namespace code {
inline constexpr unsigned long kFileNotFound = 2;
inline constexpr unsigned long kPathNotFound = 3;
inline constexpr unsigned long kAccessDenied = 5;
inline constexpr unsigned long kInvalidDrive = 15;
inline constexpr unsigned long kWriteProtect = 19;
inline constexpr unsigned long kSharingViolation = 32;
inline constexpr unsigned long kLockViolation = 33;
inline constexpr unsigned long kHandleDiskFull = 39;
inline constexpr unsigned long kBadNetPath = 53;
inline constexpr unsigned long kDiskFull = 112;
inline constexpr unsigned long kDeletePending = 303;
} // namespace code

// 53 file not found, 76 path not found, 70 permission denied (also for a file that another
// program holds), 61 disk full, 75 for every other failure.
int ErrorNumberFor(unsigned long win32Code);

// What the code means: another program holds the file (a sharing or lock violation, or a file
// that another program's open handle keeps from going), the user has no right to it (or the
// volume is write-protected), the volume is full, or anything else.
Cause CauseFor(unsigned long win32Code);

} // namespace orv::win32
