#include "platform/platform.h"

#include "platform/run_log.h"
#include "platform/runtime_error.h"

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

// Whether the box has the buttons Yes and No (also with Cancel).
bool AsksYesOrNo(int style) {
    constexpr int kButtons = 0x0F;
    constexpr int kYesNoCancel = 3;
    constexpr int kYesNo = 4;
    return (style & kButtons) == kYesNoCancel || (style & kButtons) == kYesNo;
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
    try {
        const Answer answer = showMessageBox(text, title, style);
        log_.note(std::string("Antwort: ").append(AnswerName(answer)));
        return answer;
    } catch (const RuntimeError& error) {
        // A box that cannot be shown has not been answered: a question counts as declined, so
        // that nothing is done without the user's consent.
        log_.note(ErrorForLog(error, " beim Anzeigen der Meldung"));
        return AsksYesOrNo(style) ? Answer::No : Answer::Ok;
    }
}

PatientFileSystem& Platform::patientFiles() {
    if (!patientFiles_) {
        patientFiles_ = std::make_unique<PatientFileSystem>(
            files(), [this](int milliseconds) { pause(milliseconds); }, log_);
    }
    return *patientFiles_;
}

} // namespace orv
