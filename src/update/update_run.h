#pragma once
// The state of one run of Main, owned by Main for its whole life.

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_access.h"
#include "archive/zip_component.h"
#include "platform/platform.h"
#include "ui/launcher_window.h"
#include "ui/start_window.h"
#include "update/archive_journal.h"

namespace orv {

struct UpdateRun {
    UpdateRun(Platform& platform, ZipComponent& component);
    // Its parts refer to each other (modZip reaches Start): a run stays where it was made.
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    Platform& os;
    // The zip component, for what the updater asks about archives beside the archive routines.
    ZipComponent& zip;
    // This run's hold on its installation, kept until the run ends.
    std::unique_ptr<InstallationClaim> Claim;
    ui::StartWindow Start;
    ui::LauncherWindow frmShellExecute;
    ArchiveAccess modZip;

    std::string InstallDir; // shared with the launcher window
    std::string AppDir;
    std::string IniPath;     // read by every INI lookup
    std::string ArchivePath; // first argument of every call of the zip component
    std::string BackupPath;
    std::string RecordPath; // the record of the run, beside the archive
    std::string DbDir1;
    std::string DbDir2;
    std::string DbDir3;
    std::string Message;
    std::int16_t CopiedCount = 0;
    std::string UpdateKey;
    std::string InstalledKey;
    std::string UpdateLabel;
    std::string InstalledLabel;
    std::string VersionNote;
    bool Cancelled = false;
    bool BackupMade = false;
    bool StatusShown = false;
    // A row of the installation could not be made in full; the report says so.
    bool InstallIncomplete = false;

    // The files of the zip component, which note every change of the archive in the record.
    ArchiveJournal* Journal = nullptr;

    // Adds to CopiedCount as a 16-bit signed sum; beyond its range a run-time error 6.
    void addCopied(std::int32_t count);
};

} // namespace orv
