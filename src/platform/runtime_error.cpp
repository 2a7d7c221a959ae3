#include "platform/runtime_error.h"

#include <cerrno>
#include <new>
#include <utility>

namespace orv {

RuntimeError::RuntimeError(int number, std::string description, int systemCode, Cause cause)
    : number_(number), description_(std::move(description)), systemCode_(systemCode),
      cause_(cause) {}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorText(number)) {}

void RuntimeError::placeAt(std::string_view operation, std::string_view path) {
    if (!operation_.empty() || !path_.empty()) return;
    operation_ = operation;
    path_ = path;
}

std::string PathPair(std::string_view from, std::string_view to) {
    std::string pair{from};
    pair.append(" -> ").append(to);
    return pair;
}

RuntimeError SystemError(int number, int systemCode, Cause cause) {
    return RuntimeError(number, ErrorText(number), systemCode, cause);
}

RuntimeError HeldError(int systemCode) {
    return SystemError(err::kPermissionDenied, systemCode, Cause::Held);
}

namespace {

struct ErrnoNumber {
    int errnoValue;
    int number;
};

// The first value listed for a number is the one that stands for it. Not every C library
// knows every value (mingw-w64 has no EDQUOT): those it lacks are left out.
constexpr ErrnoNumber kErrnoNumbers[] = {
    {ENOENT, err::kFileNotFound},
    {ENOTDIR, err::kPathNotFound},
    {ENAMETOOLONG, err::kPathNotFound},
#ifdef ELOOP
    {ELOOP, err::kPathNotFound},
#endif
    {EACCES, err::kPermissionDenied},
    {EPERM, err::kPermissionDenied},
    {EROFS, err::kPermissionDenied},
    {EBUSY, err::kPermissionDenied},
#ifdef ETXTBSY
    {ETXTBSY, err::kPermissionDenied},
#endif
    {ENOSPC, err::kDiskFull},
#ifdef EDQUOT
    {EDQUOT, err::kDiskFull},
#endif
    {EFBIG, err::kDiskFull},
    {EIO, err::kDeviceIo},
};

} // namespace

int ErrorNumberOfErrno(int errnoValue) {
    for (const auto& [value, number] : kErrnoNumbers) {
        if (value == errnoValue) return number;
    }
    return err::kPathFileAccess;
}

Cause CauseOfErrno(int errnoValue) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Cause::Denied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return Cause::Full;
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return Cause::Held;
    default:
        return Cause::Other;
    }
}

RuntimeError ErrorAbout(int number, const std::string& subject, int errnoValue) {
    return RuntimeError{number, ErrorText(number) + ": " + subject, errnoValue,
                        errnoValue == 0 ? Cause::Other : CauseOfErrno(errnoValue)};
}

RuntimeError ErrnoError(int errnoValue) {
    return SystemError(ErrorNumberOfErrno(errnoValue), errnoValue, CauseOfErrno(errnoValue));
}

RuntimeError CurrentError() {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(err::kOutOfMemory);
    } catch (...) {
        return RuntimeError(err::kInternal);
    }
}

std::string ErrorText(int number) {
    switch (number) {
    case err::kInvalidCall:
        return "Ungültiger Prozeduraufruf oder ungültiges Argument";
    case err::kOverflow:
        return "Überlauf";
    case err::kOutOfMemory:
        return "Nicht genügend Speicher";
    case err::kInternal:
        return "Interner Fehler";
    case err::kFileNotFound:
        return "Datei nicht gefunden";
    case err::kDeviceIo:
        return "Fehler bei Geräte-E/A";
    case err::kFileExists:
        return "Datei existiert bereits";
    case err::kDiskFull:
        return "Datenträger voll";
    case err::kPastEndOfFile:
        return "Eingabe hinter Dateiende";
    case err::kPermissionDenied:
        return "Zugriff verweigert";
    case err::kPathFileAccess:
        return "Fehler beim Zugriff auf Pfad/Datei";
    case err::kPathNotFound:
        return "Pfad nicht gefunden";
    case err::kZipNotAnArchive:
        return "Die Datei ist kein gültiges Zip-Archiv";
    case err::kZipDamaged:
        return "Das Zip-Archiv ist beschädigt";
    case err::kZipUnsafeEntry:
        return "Das Zip-Archiv enthält einen unzulässigen Dateinamen";
    case err::kZipUnsupported:
        return "Das Zip-Archiv verwendet ein nicht unterstütztes Verfahren";
    case err::kZipEncrypted:
        return "Das Zip-Archiv enthält verschlüsselte Dateien";
    case err::kZipCrc:
        return "Prüfsummenfehler im Zip-Archiv";
    case err::kZipTooLarge:
        return "Ein Eintrag im Zip-Archiv ist größer als angegeben";
    case err::kZipInternal:
        return "Interner Fehler der Zip-Komponente";
    case err::kZipSymbolicLink:
        return "Das Zip-Archiv enthält eine symbolische Verknüpfung";
    case err::kZipDuplicateName:
        return "Das Zip-Archiv enthält zwei Einträge mit demselben Namen";
    default:
        return "Anwendungs- oder objektdefinierter Fehler";
    }
}

} // namespace orv
