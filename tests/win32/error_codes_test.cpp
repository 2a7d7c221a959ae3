#include "win32/error_codes.h"

#include <gtest/gtest.h>

#include "platform/runtime_error.h"

namespace orv::win32 {
namespace {

struct ErrorCase {
    const char* what;
    unsigned long code;
    int number;
    Cause cause; // what the updater does about it: wait, refuse at once, or neither
};

const ErrorCase kErrorCases[] = {
    {"file not found", code::kFileNotFound, err::kFileNotFound, Cause::Other},
    {"path not found", code::kPathNotFound, err::kPathNotFound, Cause::Other},
    {"invalid drive", code::kInvalidDrive, err::kPathNotFound, Cause::Other},
    {"network path not found", code::kBadNetPath, err::kPathNotFound, Cause::Other},
    {"access denied", code::kAccessDenied, err::kPermissionDenied, Cause::Denied},
    {"file held by another program", code::kSharingViolation, err::kPermissionDenied, Cause::Held},
    {"region locked by another program", code::kLockViolation, err::kPermissionDenied, Cause::Held},
    {"removal pending while another program has it open", code::kDeletePending,
     err::kPathFileAccess, Cause::Held},
    {"write-protected medium", code::kWriteProtect, err::kPermissionDenied, Cause::Denied},
    {"disk full", code::kDiskFull, err::kDiskFull, Cause::Full},
    {"disk full while writing", code::kHandleDiskFull, err::kDiskFull, Cause::Full},
    {"file exists", 80, err::kPathFileAccess, Cause::Other},
    {"invalid name", 123, err::kPathFileAccess, Cause::Other},
    {"no error code at all", 0, err::kPathFileAccess, Cause::Other},
};

class ErrorNumberTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorNumberTest, MapsToTheUpdatersNumber) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(ErrorNumberFor(c.code), c.number) << c.what;
    EXPECT_EQ(CauseFor(c.code), c.cause) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, ErrorNumberTest, testing::ValuesIn(kErrorCases));

} // namespace
} // namespace orv::win32
