#include "platform/run_log.h"

#include <ctime>

namespace orv {
namespace {

// Lines are handed to the file in pieces of about this size, and at least after every box.
constexpr std::size_t kFlushSize = 16 * 1024;
// What is kept of the lines before the log is opened; a run that never opens it keeps no more.
constexpr std::size_t kPendingLimit = 256 * 1024;

std::string LocalTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[32] = {};
    if (local == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local) == 0) {
        return "0000-00-00 00:00:00";
    }
    return text;
}

} // namespace

std::string ErrorForLog(const RuntimeError& error, const std::string& during) {
    std::string text = "Fehler ";
    text.append(std::to_string(error.number())).append(" (").append(error.description());
    text.append("), Systemcode ").append(std::to_string(error.systemCode())).append(during);
    if (!error.operation().empty() || !error.path().empty()) {
        text.append("; ").append(error.operation()).append(": ").append(error.path());
    }
    return text;
}

std::string OnOneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            line += " / ";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    return line;
}

void RunLog::note(const std::string& line) {
    if (failed_) return;
    try {
        if (!opened_ && pending_.size() > kPendingLimit) return;
        pending_.append(LocalTime()).append(" ").append(OnOneLine(line)).append("\r\n");
        if (file_ && pending_.size() >= kFlushSize) flush();
    } catch (...) {
        giveUp();
    }
}

void RunLog::open(FileSystem& files, const std::string& folder) {
    if (failed_ || opened_) return;
    opened_ = true;
    try {
        const std::string path = folder + "\\orvupd.log";
        if (files.fileExists(path)) files.replaceFile(path, folder + "\\orvupd.1.log");
        file_ = files.createFile(path);
        flush();
    } catch (...) {
        giveUp();
    }
}

void RunLog::flush() {
    if (!file_ || pending_.empty()) return;
    try {
        file_->write(pending_.data(), pending_.size());
        pending_.clear();
    } catch (...) {
        giveUp();
    }
}

void RunLog::close() {
    flush();
    try {
        // What the log says of a run is on the disk when the run ends.
        if (file_) {
            file_->sync();
            file_->close();
        }
    } catch (...) {
    }
    file_.reset();
    pending_.clear();
    opened_ = false;
    failed_ = false;
}

void RunLog::giveUp() {
    failed_ = true;
    pending_.clear();
    try {
        file_.reset();
    } catch (...) {
    }
}

} // namespace orv
