#include "env/environment.h"

#include <algorithm>

#include "platform/runtime_error.h"
#include "platform/text.h"

namespace orv {
void ShowApplicationOpen(Platform& os) {
    const std::string message =
        "Sie haben die Anwendung 'Korvelin - ORVEN' geöffnet." + std::string(text::CRLF) +
        "Bitte beenden Sie das Programm und starten" + std::string(text::CRLF) +
        "'Testversion aktualisieren' noch einmal.";
    os.messageBox(message, "ORVEN geöffnet", style::kCritical);
}

bool ProbeFile(Platform& os, const std::string& path) {
    try {
        os.files().probeOpen(path);
        return true;
    } catch (const RuntimeError& e) {
        // Only a file that another program holds is the application's doing; a file the user
        // may not read is missing for the updater, and no closing of ORVEN would change that.
        if (e.held()) {
            os.log().note("Von einem anderen Programm geöffnet: " + path);
            ShowApplicationOpen(os);
        } else if (e.denied()) {
            os.log().note("Keine Rechte zum Lesen: " + path);
        }
        return false;
    }
}

std::string ReadIniValue(Platform& os, const std::string& iniPath, const std::string& section,
                         const std::string& key, const std::string& defaultValue) {
    try {
        std::string buffer(kIniBufferSize, '\0');
        if (!key.empty()) {
            const std::string value = text::Left(
                os.profileString(section, key, "", kIniBufferSize, iniPath), kIniBufferSize - 1);
            buffer.replace(0, std::min(value.size() + 1, buffer.size()), value + '\0');
        }
        std::erase(buffer, '\0');
        return buffer.empty() ? defaultValue : buffer;
    } catch (const RuntimeError& e) {
        os.log().note(ErrorForLog(e, " beim Lesen von " + iniPath));
        os.messageBox("Fehler beim Lesen der Datei " + iniPath + ", Fehler = " + e.description(),
                      kProgramTitle, style::kPlain);
        return defaultValue;
    }
}

std::string GetWindowsDir(Platform& os) {
    try {
        std::string buffer(kIniBufferSize, ' ');
        const std::size_t length = os.windowsDirectory(buffer);
        return text::Left(buffer, length);
    } catch (const RuntimeError& e) {
        os.log().note(ErrorForLog(e, " beim Lesen des Windows-Verzeichnisses"));
        os.messageBox(e.description(), kProgramTitle, style::kPlain);
        return "";
    }
}

} // namespace orv
