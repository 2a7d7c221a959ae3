#include "win32/error_codes.h"

#include "platform/runtime_error.h"

namespace orv::win32 {

int ErrorNumberFor(unsigned long win32Code) {
    switch (win32Code) {
    case code::kFileNotFound:
        return err::kFileNotFound;
    case code::kPathNotFound:
    case code::kInvalidDrive:
    case code::kBadNetPath:
        return err::kPathNotFound;
    case code::kAccessDenied:
    case code::kSharingViolation:
    case code::kLockViolation:
    case code::kWriteProtect:
        return err::kPermissionDenied;
    case code::kDiskFull:
    case code::kHandleDiskFull:
        return err::kDiskFull;
    default:
        return err::kPathFileAccess;
    }
}

Cause CauseFor(unsigned long win32Code) {
    switch (win32Code) {
    case code::kSharingViolation:
    case code::kLockViolation:
    case code::kDeletePending:
        return Cause::Held;
    case code::kAccessDenied:
    case code::kWriteProtect:
        return Cause::Denied;
    case code::kDiskFull:
    case code::kHandleDiskFull:
        return Cause::Full;
    default:
        return Cause::Other;
    }
}

} // namespace orv::win32
