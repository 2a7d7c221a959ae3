#include "platform/runtime_error.h"

#include <utility>

namespace orv {

RuntimeError::RuntimeError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorText(number)) {}

std::string ErrorText(int number) {
    switch (number) {
    case err::kInvalidCall:
        return "Ungültiger Prozeduraufruf oder ungültiges Argument";
    case err::kOverflow:
        return "Überlauf";
    case err::kFileNotFound:
        return "Datei nicht gefunden";
    case err::kDeviceIo:
        return "Fehler bei Geräte-E/A";
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
