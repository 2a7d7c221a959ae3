#pragma once
// The run's log, for the people who support the updater: <InstallDir>\update\orvupd.log, UTF-8
// text, one line per event, each beginning with the local time to the second. The log of the
// run before is kept as orvupd.1.log, older ones are not. Writing the log never changes the
// run: when it cannot be written, the run goes on as without it.

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/runtime_error.h"

namespace orv {

class RunLog {
  public:
    // Adds a line. Lines noted before the log is opened are written first once it is.
    void note(const std::string& line);
    // Starts writing into the folder, which must exist; the log found there becomes
    // orvupd.1.log. Without a call, nothing is ever written.
    void open(FileSystem& files, const std::string& folder);
    // Hands the lines noted so far to the file; done after every box and error, so that a run
    // that is stopped leaves what led up to it.
    void flush();
    // Writes the rest and closes the file; what is noted after belongs to another run.
    void close();

  private:
    void giveUp();

    std::unique_ptr<OutputFile> file_;
    std::string pending_;
    bool opened_ = false;
    bool failed_ = false;
};

// An error as the log shows it: its number, its text and the platform's own code, then what the
// updater was doing when it met it (" beim Entpacken von *.DLL", may be empty), then the
// operation and the file that failed where the error names them ("; Anlegen: C:\...").
std::string ErrorForLog(const RuntimeError& error, const std::string& during = "");

// The text on one line of the log: each line break shown as " / ".
std::string OnOneLine(const std::string& text);

} // namespace orv
