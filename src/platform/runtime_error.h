#pragma once
// The updater's run-time error: a number and a German description. Every failing
// platform operation raises one; the routines catch it where their behaviour says so.

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace orv {

namespace err {
// Numbers follow the classic BASIC runtime where one fits.
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInternal = 51;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIo = 57;
inline constexpr int kFileExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kPastEndOfFile = 62;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
// Failures of the zip component, each with a text of its own.
inline constexpr int kZipNotAnArchive = 31001;
inline constexpr int kZipDamaged = 31002;
inline constexpr int kZipUnsafeEntry = 31003;
inline constexpr int kZipUnsupported = 31004;
inline constexpr int kZipEncrypted = 31005;
inline constexpr int kZipCrc = 31006;
inline constexpr int kZipTooLarge = 31007;
inline constexpr int kZipInternal = 31008;
inline constexpr int kZipSymbolicLink = 31009;
inline constexpr int kZipDuplicateName = 31010;
} // namespace err

// What a failure means, as the system's own code tells it. The number and the text are for the
// user's box; what the updater does about a failure is decided on this.
enum class Cause {
    Other,
    Held,   // another program holds the file (a sharing or lock violation): for now
    Denied, // the user has no right to it (or the volume is read-only): waiting will not help
    Full,   // the volume has no room left
};

class RuntimeError : public std::exception {
  public:
    RuntimeError(int number, std::string description, int systemCode = 0,
                 Cause cause = Cause::Other);
    // An error with the updater's standard German text for its number.
    explicit RuntimeError(int number);

    int number() const { return number_; }
    const std::string& description() const { return description_; }
    // The platform's own code for the failure behind the error (errno on Linux, GetLastError()
    // on Windows), 0 when there is none. The number and the text are the same with or without.
    int systemCode() const { return systemCode_; }
    Cause cause() const { return cause_; }
    bool held() const { return cause_ == Cause::Held; }
    bool denied() const { return cause_ == Cause::Denied; }
    const char* what() const noexcept override { return description_.c_str(); }

    // Where the failure happened, for the log: what was being done ("Öffnen", "Ersetzen", ...)
    // and to which file or folder, as the updater names it. Empty where nobody said.
    const std::string& operation() const { return operation_; }
    const std::string& path() const { return path_; }
    // Names the place, unless a place closer to the failure has already been named.
    void placeAt(std::string_view operation, std::string_view path);

  private:
    int number_;
    std::string description_;
    int systemCode_;
    Cause cause_;
    std::string operation_;
    std::string path_;
};

// Runs body; a run-time error raised inside it leaves with this operation and path as its place
// (unless a place closer to the failure was named already).
template <class Body>
decltype(auto) PlacedAt(std::string_view operation, std::string_view path, Body&& body) {
    try {
        return std::forward<Body>(body)();
    } catch (RuntimeError& error) {
        error.placeAt(operation, path);
        throw;
    }
}

// Two paths named as one place: "from -> to".
std::string PathPair(std::string_view from, std::string_view to);

// A failure that the platform reported with its own code: the error with this number, the
// standard text for it, and the code and what it means kept.
RuntimeError SystemError(int number, int systemCode, Cause cause = Cause::Other);
// A file that another program holds: 70, with the system's code for the violation.
RuntimeError HeldError(int systemCode = 0);

// The number of a file error for an errno value: 53 file not found, 76 path not found, 70
// permission denied (also for a file in use), 61 disk full (also over a quota or a size limit),
// 57 device I/O, 75 for every other value.
int ErrorNumberOfErrno(int errnoValue);
// What an errno value means: a missing right (EACCES, EPERM, EROFS), a full volume (ENOSPC,
// EDQUOT, EFBIG), a file in use (EBUSY, ETXTBSY), anything else.
Cause CauseOfErrno(int errnoValue);
// A failed C library or POSIX call: the error for its errno value.
RuntimeError ErrnoError(int errnoValue);
// An error with the standard text for its number, naming what it concerns: "<text>: <subject>";
// errnoValue is the C library's code where a call failed.
RuntimeError ErrorAbout(int number, const std::string& subject, int errnoValue = 0);

// The run-time error that stands for the exception being handled (call it inside a catch): the
// error itself, 7 for memory running out, 51 for anything else. A failure of another kind is
// then reported and handled like every other.
RuntimeError CurrentError();

// The standard German text for a run-time error number ("Anwendungs- oder objektdefinierter
// Fehler" for numbers without one of their own).
std::string ErrorText(int number);

} // namespace orv
