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

Answer Platform::messageBox(const std::string& text, const std::string& title, int style) {
    log_.note("Meldung \"" + title + "\" (Stil " + std::to_string(style) + "): " + text);
    log_.flush();
    const Answer answer = showMessageBox(text, title, style);
    log_.note("Antwort: " + AnswerName(answer));
    return answer;
}

} // namespace orv
