#pragma once
// A whole ORVEN installation in a sandbox, as drive C:, with the recording front end.
//   C:\ORVEN32\UPDATE\          the updater's own directory
//   C:\ORVEN32\orv\orven32.exe  the application
//   C:\ORVEN32\orv\orven32.ini  Pfad1 = C:\DATEN, Pfad2 = C:\DATEN\VW, Pfad3 empty
//   C:\ORVEN32\update\orvupd.zip

#include <string>
#include <vector>

#include "support/recording_platform.h"
#include "support/sandbox.h"
#include "support/zip_writer.h"

namespace orv::testing {

inline constexpr const char* kInstalledVersion = "01.02.2019 3.0";

class Installation {
  public:
    Installation();

    // Native paths below drive C:, e.g. file("ORVEN32/orv/orven32.exe").
    std::string file(const std::string& relative) const { return box.path(relative); }
    void writeArchive(const std::vector<ZipEntry>& entries);
    std::string archiveBytes() const { return box.readFile(kArchive); }
    bool backupExists() const { return box.exists(kBackup); }

    // Runs the updater once.
    void run();

    // The texts of the boxes shown, in order.
    std::vector<std::string> boxTexts() const;

    // The files below drive C: but the run's logs, which every run leaves.
    std::vector<std::pair<std::string, std::string>> filesButLogs() const;
    // The run's log and the one before it, in the update folder.
    static bool IsRunLog(const std::string& relative) {
        return relative == kLog || relative == kPreviousLog;
    }

    static constexpr const char* kArchive = "ORVEN32/update/orvupd.zip";
    static constexpr const char* kBackup = "ORVEN32/update/orvupd.zip$$$";
    static constexpr const char* kLog = "ORVEN32/update/orvupd.log";
    static constexpr const char* kPreviousLog = "ORVEN32/update/orvupd.1.log";
    static constexpr const char* kRecord = "ORVEN32/update/orvupd.run";
    // The same two as the updater names them.
    static constexpr const char* kArchivePath = "C:\\ORVEN32\\update\\orvupd.zip";
    static constexpr const char* kRecordPath = "C:\\ORVEN32\\update\\orvupd.run";

    Sandbox box;
    RecordingPlatform os{box.root()};
};

} // namespace orv::testing
