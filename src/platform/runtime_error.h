#pragma once
// The updater's run-time error: a number and a German description. Every failing
// platform operation raises one; the routines catch it where their behaviour says so.

#include <exception>
#include <string>

namespace orv {

namespace err {
// Numbers follow the classic BASIC runtime where one fits.
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIo = 57;
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

class RuntimeError : public std::exception {
  public:
    RuntimeError(int number, std::string description);
    // An error with the updater's standard German text for its number.
    explicit RuntimeError(int number);

    int number() const { return number_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    int number_;
    std::string description_;
};

// The standard German text for a run-time error number ("Anwendungs- oder objektdefinierter
// Fehler" for numbers without one of their own).
std::string ErrorText(int number);

} // namespace orv
