#include "support/installation.h"

#include "update/main.h"

namespace orv::testing {

Installation::Installation() {
    box.writeFile("ORVEN32/orv/orven32.exe", "ORVEN 3.0");
    box.writeFile("ORVEN32/orv/orven32.ini",
                  "[ORVEN]\r\nPfad1=C:\\DATEN\r\nPfad2=C:\\DATEN\\VW\r\nPfad3=\r\n");
    box.makeDirectory("ORVEN32/UPDATE");
    box.makeDirectory("DATEN/VW");
    box.makeDirectory("WINDOWS");
    os.ownDir = "C:\\ORVEN32\\UPDATE";
    os.windowsDir = "C:\\WINDOWS";
    os.commandLineText = kInstalledVersion;
}

void Installation::writeArchive(const std::vector<ZipEntry>& entries) {
    box.makeDirectory("ORVEN32/update");
    WriteZip(box.path(kArchive), entries);
}

void Installation::run() {
    Main(os);
}

std::vector<std::pair<std::string, std::string>> Installation::filesButLogs() const {
    auto files = box.snapshot();
    std::erase_if(files, [](const auto& file) { return IsRunLog(file.first); });
    return files;
}

std::vector<std::string> Installation::boxTexts() const {
    std::vector<std::string> texts;
    for (const Box& shown : os.boxes)
        texts.push_back(shown.text);
    return texts;
}

} // namespace orv::testing
