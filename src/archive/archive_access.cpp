#include "archive/archive_access.h"

#include "platform/runtime_error.h"
#include "platform/text.h"

namespace orv {
namespace {

constexpr std::int32_t kLanguageGerman = 1;
constexpr std::int32_t kOptions = 2;

} // namespace

std::int32_t ArchiveAccess::ExtractEntries(const std::string& archivePath, const std::string& mask,
                                           const std::string& targetDir) {
    lastExtractionFailed_ = false;
    try {
        zip_.SetLanguage(kLanguageGerman);
        std::int32_t overwriteAll = 0;
        ProgressTarget* progress = nullptr;
        if (mask == "*.*") {
            overwriteAll = 1;
            progress = &status_();
        } else if (text::UCase(mask) != "*ORVUPD.TXT") {
            progress = &status_();
        }
        os_.log().note("Entpacken: " + mask + " nach " + targetDir + "\\");
        const std::int32_t count = zip_.UnZipEx(archivePath, targetDir + "\\", mask, overwriteAll,
                                                nullptr, kOptions, progress);
        os_.log().note("Entpackt: " + mask + ", " + std::to_string(count) + " Datei(en)");
        return count;
    } catch (...) {
        const RuntimeError e = CurrentError();
        lastExtractionFailed_ = true;
        os_.log().note(ErrorForLog(e, " beim Entpacken von " + mask));
        os_.messageBox("Fehler beim entpacken der Datei(en) " + mask + std::string(text::CRLF) +
                           "Fehler = " + e.description(),
                       "Fehler", style::kCritical);
        return 0;
    }
}

bool ArchiveAccess::DeleteEntries(const std::string& archivePath, const std::string& mask) {
    try {
        zip_.ZipDeleteFile(archivePath, mask, &status_());
        return true;
    } catch (...) {
        const RuntimeError e = CurrentError();
        os_.log().note(ErrorForLog(e, " beim Entfernen von " + mask + " aus dem Archiv"));
        os_.messageBox("Fehler beim Löschen der Datei(en) " + mask + std::string(text::CRLF) +
                           "Fehler = " + e.description(),
                       "Fehler", style::kCritical);
        return false;
    }
}

} // namespace orv
