#include "win32/error_codes.h"

#include <gtest/gtest.h>

#include "platform/runtime_error.h"

namespace orv::win32 {
namespace {

struct ErrorCase {
    const char* what;
    unsigned long code;
    int number;
};

const ErrorCase kErrorCases[] = {
    {"file not found", code::kFileNotFound, err::kFileNotFound},
    {"path not found", code::kPathNotFound, err::kPathNotFound},
    {"invalid drive", code::kInvalidDrive, err::kPathNotFound},
    {"network path not found", code::kBadNetPath, err::kPathNotFound},
    {"access denied", code::kAccessDenied, err::kPermissionDenied},
    {"file held by another program", code::kSharingViolation, err::kPermissionDenied},
    {"region locked by another program", code::kLockViolation, err::kPermissionDenied},
    {"write-protected medium", code::kWriteProtect, err::kPermissionDenied},
    {"disk full", code::kDiskFull, err::kDiskFull},
    {"disk full while writing", code::kHandleDiskFull, err::kDiskFull},
    {"file exists", 80, err::kPathFileAccess},
    {"invalid name", 123, err::kPathFileAccess},
    {"no error code at all", 0, err::kPathFileAccess},
};

class ErrorNumberTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorNumberTest, MapsToTheUpdatersNumber) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(ErrorNumberFor(c.code), c.number) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, ErrorNumberTest, testing::ValuesIn(kErrorCases));

} // namespace
} // namespace orv::win32
