#include "archive/zipkit/zip_errors.h"

namespace orv::zipkit {
namespace {

// libzip passes a source's error codes through unchanged; codes from here on are no libzip code
// and carry a read failure of the file system: its number and what the system's code means.
constexpr int kReadFailureBase = 0x4F520000;
constexpr int kCauses = 4;

int ErrorNumber(int zipCode, int systemCode) {
    switch (zipCode) {
    case ZIP_ER_NOENT:
        return err::kFileNotFound;
    case ZIP_ER_NOZIP:
        return err::kZipNotAnArchive;
    case ZIP_ER_INCONS:
    case ZIP_ER_INVAL: // libzip's word for a local header that points nowhere
    case ZIP_ER_EOF:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        return err::kZipDamaged;
    case ZIP_ER_CRC:
        return err::kZipCrc;
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_COMPNOTSUPP:
        return err::kZipUnsupported;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return err::kZipEncrypted;
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_REMOVE:
        return ErrorNumberOfErrno(systemCode); // libzip's system errors are errno values
    case ZIP_ER_RDONLY:
        return err::kPermissionDenied;
    default:
        return err::kZipInternal;
    }
}

} // namespace

void SetReadFailure(zip_error_t& error, const RuntimeError& failure) {
    const int code =
        kReadFailureBase + failure.number() * kCauses + static_cast<int>(failure.cause());
    zip_error_set(&error, code, failure.systemCode());
}

RuntimeError ZipError(const zip_error_t& error, const std::string& subject) {
    const int zipCode = zip_error_code_zip(&error);
    if (zipCode >= kReadFailureBase) {
        const int number = (zipCode - kReadFailureBase) / kCauses;
        const auto cause = static_cast<Cause>((zipCode - kReadFailureBase) % kCauses);
        return RuntimeError{number, ErrorText(number) + ": " + subject,
                            zip_error_code_system(&error), cause};
    }
    const int systemCode =
        zip_error_system_type(&error) == ZIP_ET_SYS ? zip_error_code_system(&error) : 0;
    return ErrorAbout(ErrorNumber(zip_error_code_zip(&error), systemCode), subject, systemCode);
}

RuntimeError ZipError(int zipCode, const std::string& subject) {
    zip_error_t error;
    zip_error_init_with_code(&error, zipCode);
    RuntimeError result = ZipError(error, subject);
    zip_error_fini(&error);
    return result;
}

} // namespace orv::zipkit
