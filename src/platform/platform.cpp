#include "platform/platform.h"

namespace orv {
namespace {

std::string AnswerName(Answer answer) {
    switch (answer) {
    case Answer::Yes:
        return "Ja";
    case Answer::No:
        return "Nein";
    default:
        return "OK";
    }
}

} // namespace

std::string VersionTitle(const ProgramVersion& version) {
    return std::string(kProgramTitle) + " " + std::to_string(version.major) + "." +
           std::to_string(version.minor) + "." + std::to_string(version.revision);
}

Answer Platform::messageBox(const std::string& text, const std::string& title, int style) {
    std::string line = "Meldung \"";
    line.append(title).append("\" (Stil ").append(std::to_string(style)).append("): ");
    line.append(text);
    log_.note(line);
    log_.flush();
    const Answer answer = showMessageBox(text, title, style);
    log_.note(std::string("Antwort: ").append(AnswerName(answer)));
    return answer;
}

PatientFileSystem& Platform::patientFiles() {
    if (!patientFiles_) {
        patientFiles_ = std::make_unique<PatientFileSystem>(
            files(), [this](int milliseconds) { pause(milliseconds); }, log_);
    }
    return *patientFiles_;
}

} // namespace orv
