// The road of one update run, from the updater's start to its end.

#include "update/main.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/signature.h"
#include "env/environment.h"
#include "platform/known_folder.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "ui/start_window.h"
#include "update/archive_journal.h"
#include "update/extraction_plan.h"
#include "update/run_record.h"
#include "update/update_run.h"
#include "update/version_line.h"

namespace orv {
namespace {

const std::string CRLF{text::CRLF};

// How often the exit is tried in full before it gives up on what keeps failing: an archive
// that cannot be put back must not keep the updater reporting for ever.
constexpr int kExitAttempts = 3;

// How long a run waits in all for files that another program holds, and how often it looks.
constexpr int kHeldWaitMilliseconds = 10000;
constexpr int kHeldPollMilliseconds = 250;

void Note(UpdateRun& run, const std::string& line) {
    run.os.log().note(line);
}

void Show(UpdateRun& run, const std::string& text, const std::string& title, int boxStyle) {
    run.os.messageBox(text, title, boxStyle);
}

// The installation directory is the updater's own without its last seven characters
// ("\UPDATE"), cut by count whatever the directory is called.
void WorkOutInstallDir(UpdateRun& run) {
    const std::string ownDir = run.os.ownDirectory();
    const std::size_t length = text::Len(ownDir);
    if (length < 7) throw RuntimeError(err::kInvalidCall);
    run.InstallDir = text::Left(ownDir, length - 7);
}

// One updater at a time for an installation: a second one started meanwhile (a double click,
// the application starting it twice) ends at once, changing nothing and showing nothing.
bool ClaimInstallation(UpdateRun& run) {
    run.Claim = run.os.claimInstallation(run.InstallDir);
    return run.Claim != nullptr;
}

// The log goes into the installation's update folder, and nowhere else: a run that has none
// (started from the wrong place) keeps no log.
void OpenLog(UpdateRun& run) {
    const std::string folder = run.InstallDir + "\\update";
    try {
        if (run.os.files().directoryExists(folder)) run.os.log().open(run.os.files(), folder);
    } catch (...) {
        // No log, and the run goes on as without it.
    }
}

// The two refusals for an updater that is not in the application's UPDATE directory; false
// when the run is to go to the exit.
bool LocateInstallation(UpdateRun& run) {
    const std::string ownDir = run.os.ownDirectory();
    const std::string calledFrom =
        "Das Update-Programm wird aus dem Verzeichnis " + ownDir + " aufgerufen." + CRLF + CRLF;
    const std::string whereItBelongs =
        "Stellen Sie sicher, dass sich das Programm im " + CRLF +
        "Unterverzeichnis UPDATE innerhalb des Installationsverzeichnisses" + CRLF +
        "von ORVEN befindet, z. B. c:\\orven32\\update" + CRLF + CRLF;
    if (!ProbeFile(run.os, ApplicationPath(run.InstallDir))) {
        run.Message = calledFrom +
                      "Sie haben das Updateprogramm außerhalb des Installationsverzeichnisses von "
                      "ORVEN gestartet." +
                      CRLF + whereItBelongs;
        Show(run, run.Message, kProgramTitle, style::kCritical);
        return false;
    }
    if (text::UCase(text::Right(ownDir, 6)) != "UPDATE") {
        run.Message = calledFrom + whereItBelongs;
        Show(run, run.Message, kProgramTitle, style::kCritical);
        return false;
    }
    run.AppDir = run.InstallDir + "\\orv";
    return true;
}

// The INI file, the application directory's first, then the Windows directory's; false when
// there is none, and the run ends at once.
bool LocateIni(UpdateRun& run) {
    const bool inAppDir = ProbeFile(run.os, run.AppDir + "\\orven32.ini");
    const bool inWindowsDir = ProbeFile(run.os, GetWindowsDir(run.os) + "\\orven32.ini");
    if (!inAppDir && !inWindowsDir) {
        run.Message = "ORVEN32.INI ist weder im Windows-Verzeichnis" + CRLF +
                      GetWindowsDir(run.os) + " noch im Applikationsverzeichnis" + CRLF +
                      text::UCase(run.AppDir) + " vorhanden," + CRLF +
                      "bitte überprüfen Sie Ihre ORVEN-Installation.";
        Show(run, run.Message, "Datei nicht vorhanden", style::kCritical);
        return false;
    }
    if (ProbeFile(run.os, run.AppDir + "\\orven32.ini")) {
        run.IniPath = run.AppDir + "\\ORVEN32.INI";
    } else {
        run.IniPath = GetWindowsDir(run.os) + "\\orven32.ini";
    }
    Note(run, "INI-Datei: " + run.IniPath);
    return true;
}

// The update archive in the installation's update directory; false when it is missing.
bool LocateArchive(UpdateRun& run) {
    run.ArchivePath = run.InstallDir + "\\update\\orvupd.zip";
    run.BackupPath = run.ArchivePath + "$$$";
    run.RecordPath = run.InstallDir + "\\update\\orvupd.run";
    if (!ProbeFile(run.os, run.ArchivePath)) {
        run.Message = "Die Update-Datei orvupd.zip ist nicht im Verzeichnis " + run.InstallDir +
                      "\\update vorhanden." + CRLF;
        Show(run, run.Message, "Datei nicht vorhanden", style::kCritical);
        return false;
    }
    return true;
}

// The status window with its start note, before the archive is touched.
void OpenStatusWindow(UpdateRun& run) {
    run.Start.show();
    run.StatusShown = true;
    run.Start.refresh();
    run.Start.setFrameVisible(false);
    run.Start.refreshFrame();
    run.Start.setLabelCaption("Updateprogramm wird gestartet, bitte warten ...");
    run.Start.refreshLabel();
}

// A backup left without a record of its run, by a build that kept none: the only whole copy
// of the update when the archive is what that run left of it, and then it goes back over the
// archive, so that this run installs the whole update. Otherwise it is stale, and deleted.
void DealWithLeftBackup(UpdateRun& run) {
    FileSystem& files = run.os.patientFiles();
    if (run.zip.isReducedCopyOf(run.ArchivePath, run.BackupPath)) {
        Note(run, "Sicherung eines abgebrochenen Laufs über das Archiv gelegt: " + run.BackupPath);
        files.replaceFile(run.BackupPath, run.ArchivePath);
    } else {
        Note(run, "Veraltete Sicherung gelöscht: " + run.BackupPath);
        files.deleteFile(run.BackupPath);
    }
}

// The record of an interrupted run says what the archive found is. What that run made of its
// delivery gets the delivery back from the backup, and the whole update is installed again;
// the delivery itself, unchanged, and anything delivered since (whole or damaged) stay as they
// are, and a backup beside them goes. The backup is gone, or back under the archive's name, on
// the disk before the record goes.
void ActOnRecord(UpdateRun& run, const RunRecord& record) {
    FileSystem& files = run.os.patientFiles();
    const std::string folder = run.InstallDir + "\\update";
    const bool backupLeft = files.fileExists(run.BackupPath);
    const ContentState archive = ContentOf(files, run.ArchivePath);
    Note(run, "Protokoll eines abgebrochenen Laufs gefunden: " + run.RecordPath +
                  "; geliefert war ein Archiv mit " + Described(record.delivered) +
                  ", jetzt liegt eines mit " + Described(archive) + " da");
    switch (Judge(record, archive)) {
    case FoundArchive::Delivery:
        Note(run, "Das Archiv ist die Lieferung des abgebrochenen Laufs, unverändert");
        break;
    case FoundArchive::WorkingCopy:
        if (backupLeft && ContentOf(files, run.BackupPath) == record.delivered) {
            Note(run, "Das Archiv ist, was der abgebrochene Lauf aus seiner Lieferung gemacht "
                      "hat: die Sicherung wird darübergelegt, das ganze Update neu installiert");
            files.replaceFile(run.BackupPath, run.ArchivePath);
            files.syncFolder(folder);
            return;
        }
        Note(run, "Das Archiv ist, was der abgebrochene Lauf aus seiner Lieferung gemacht hat, "
                  "aber keine Sicherung hält die Lieferung: das Archiv bleibt, wie es ist");
        break;
    case FoundArchive::Other:
        Note(run, "Das Archiv ist seit dem abgebrochenen Lauf neu geliefert worden; es wird "
                  "nicht gegen die Sicherung getauscht");
        break;
    }
    if (backupLeft) {
        files.deleteFile(run.BackupPath);
        files.syncFolder(folder);
        Note(run, "Sicherung des abgebrochenen Laufs gelöscht: " + run.BackupPath);
    }
}

// What a run that did not reach its end left beside the archive: its record, which decides, or
// a backup alone, from a build that kept no record.
void DealWithInterruptedRun(UpdateRun& run) {
    FileSystem& files = run.os.patientFiles();
    std::optional<RunRecord> record;
    try {
        record = ReadRecord(files, run.RecordPath);
    } catch (const RuntimeError& error) {
        Note(run, "Protokoll eines abgebrochenen Laufs nicht lesbar, es wird entfernt: " +
                      run.RecordPath + ", " + ErrorForLog(error));
        RemoveRecord(files, run.RecordPath);
    }
    if (!record) {
        if (ProbeFile(run.os, run.BackupPath)) DealWithLeftBackup(run);
        return;
    }
    ActOnRecord(run, *record);
    RemoveRecord(files, run.RecordPath);
    Note(run, "Protokoll des abgebrochenen Laufs entfernt: " + run.RecordPath);
}

// The record of this run, on the disk before the backup takes its name or the archive changes.
void BeginRecord(UpdateRun& run) {
    run.Journal->begin(run.ArchivePath, run.RecordPath);
    Note(run, "Protokoll des Laufs angelegt: " + run.RecordPath);
}

// An installation that carries the vendor's public key installs only archives signed by it.
// The archive is checked before anything changes, through the handle that then holds it open
// against writing by others until its backup is made: the backup, from which the exit puts the
// archive back, holds the bytes checked. Without the key nothing is checked and nothing is held.
// False when the run is to go to the exit.
bool ArchiveIsSigned(UpdateRun& run, std::unique_ptr<InputFile>& hold) {
    FileSystem& files = run.os.files();
    const std::string keyPath = run.InstallDir + "\\UPDATE\\orvupd.pub";
    if (!files.fileExists(keyPath)) {
        Note(run, "Signatur nicht geprüft: kein öffentlicher Schlüssel " + keyPath);
        return true;
    }
    hold = files.openForReading(run.ArchivePath);
    const signature::SignatureCheck check =
        signature::CheckArchiveSignature(files, *hold, run.ArchivePath, keyPath);
    Note(run, "Signatur geprüft mit " +
                  (check.keyId.empty() ? keyPath : "Schlüssel " + check.keyId) + ": " +
                  signature::VerdictText(check));
    if (check.verdict == signature::Verdict::Good) return true;
    hold.reset();
    run.Message = std::string("Die Update-Datei orvupd.zip ist nicht vom Hersteller signiert") +
                  (check.verdict == signature::Verdict::Missing ? "" : " oder wurde verändert") +
                  "." + CRLF + CRLF + "Das Update wurde nicht installiert.";
    Show(run, run.Message, "Fehler beim Update", style::kCritical);
    return false;
}

// The copy of the archive proves that the installation is writable and keeps the delivered
// archive for the exit to put back; false when the copy cannot be trusted. The run's record is
// written while the disk takes the copy: reading the archive for it then costs no time of its
// own, and it is still on the disk before the backup has its name.
bool BackUpArchive(UpdateRun& run) {
    FileSystem& files = run.os.patientFiles();
    CopyIntoPlace(files, run.ArchivePath, run.BackupPath, [&run] { BeginRecord(run); });
    if (files.modificationTime(run.ArchivePath) != files.modificationTime(run.BackupPath)) {
        run.Message = "Die Update-Datei konnte nicht entpackt werden. " + CRLF +
                      "Ihnen fehlen die Schreibrechte für das Installationsverzeichnis von ORVEN!";
        Note(run, "Sicherung verworfen: ihr Zeitstempel weicht vom Archiv ab");
        Show(run, run.Message, "Fehler beim Update", style::kCritical);
        return false;
    }
    Note(run, "Sicherung angelegt: " + run.BackupPath);
    run.BackupMade = true;
    return true;
}

// The folders of the databases, from the INI file, with the application's own as defaults.
void ReadDatabaseDirectories(UpdateRun& run) {
    const auto value = [&run](const char* key) {
        return ReadIniValue(run.os, run.IniPath, "ORVEN", key, "");
    };
    const std::string pfad1 = value("Pfad1");
    const std::string pfad2 = value("Pfad2");
    const std::string pfad3 = value("Pfad3");
    const InstallationDirs dirs = DirsOf(run.InstallDir, pfad1, pfad2, pfad3);
    run.DbDir1 = dirs.dbDir1;
    run.DbDir2 = dirs.dbDir2;
    run.DbDir3 = dirs.dbDir3;
    Note(run, "Datenbankverzeichnisse: Pfad1 = " + run.DbDir1 + ", Pfad2 = " + run.DbDir2 +
                  ", Pfad3 = " + run.DbDir3);
    run.CopiedCount = 0;
}

std::string UpdateNote(const VersionLine& update) {
    return "Version " + update.label + " vom " + update.date + " wird installiert.";
}

// The plan's stages made on the update archive, through the archive routines.
class RunRoutines : public ArchiveRoutines {
  public:
    explicit RunRoutines(UpdateRun& run) : run_(run) {}
    Extraction extract(const PlanRow& row) override {
        const std::int32_t count =
            run_.modZip.ExtractEntries(run_.ArchivePath, row.mask, row.target);
        return {count, run_.modZip.lastExtractionFailed()};
    }
    bool remove(const std::string& mask) override {
        return run_.modZip.DeleteEntries(run_.ArchivePath, mask);
    }

  private:
    UpdateRun& run_;
};

// Where the stages' counts go: the run's 16-bit total.
CountSink AddToCopiedCount(UpdateRun& run) {
    return [&run](std::int32_t count) { run.addCopied(count); };
}

// Extracts the archive's version file into the application directory, without progress, and
// takes it out of the archive; returns the count of the extraction.
std::int32_t ExtractVersionFile(UpdateRun& run, bool startedByApplication) {
    RunRoutines routines{run};
    return RunStage(VersionStage(run.InstallDir, startedByApplication), routines,
                    AddToCopiedCount(run))
        .extraction.count;
}

VersionLine ReadUpdateVersion(UpdateRun& run) {
    const VersionLine update =
        ParseVersionLine(run.os.patientFiles().readFirstLine(VersionFilePath(run.InstallDir)));
    run.UpdateKey = update.key;
    run.UpdateLabel = update.label;
    Note(run, "Version im Archiv: \"" + update.date + update.label + "\" (Schlüssel " +
                  run.UpdateKey + ")");
    return update;
}

bool Ask(UpdateRun& run) {
    return run.os.messageBox(run.Message, VersionTitle(run.os.version()), style::kQuestion) !=
           Answer::No;
}

const std::string kInstallAnyway = "Wollen Sie das Update trotzdem ausführen ?";
const std::string kNotInArchive =
    "Die Datei orvupd.txt ist nicht im Archiv vorhanden oder konnte nicht gelesen werden";

// Started by the application: compare the update's version with the installed one.
bool ConfirmAgainstInstalled(UpdateRun& run) {
    const std::int32_t count = ExtractVersionFile(run, true);
    if (count <= 0) {
        run.Message = kNotInArchive + CRLF + CRLF + kInstallAnyway;
        return Ask(run);
    }
    if (!ProbeFile(run.os, VersionFilePath(run.InstallDir))) {
        run.Message = "Die Versionsdatei " + VersionFilePath(run.InstallDir) +
                      " wurde nicht gefunden." + CRLF + CRLF + kInstallAnyway;
        return Ask(run);
    }
    const VersionLine update = ReadUpdateVersion(run);
    const VersionLine installed = ParseVersionLine(run.os.commandLine());
    run.InstalledKey = installed.key;
    run.InstalledLabel = installed.label;
    const char* comparison = run.UpdateKey > run.InstalledKey    ? "neuer als"
                             : run.UpdateKey == run.InstalledKey ? "so alt wie"
                                                                 : "älter als";
    Note(run, "Installierte Version: \"" + installed.date + run.InstalledLabel + "\" (Schlüssel " +
                  run.InstalledKey + "); das Update ist " + comparison + " die installierte");
    if (run.UpdateKey > run.InstalledKey) {
        run.Message = UpdateNote(update) + CRLF + CRLF + "Wollen Sie das Update jetzt ausführen ?";
    } else if (run.UpdateKey == run.InstalledKey) {
        run.Message = "Das Versionsdatum ist identisch mit der installierten Version." + CRLF +
                      CRLF + kInstallAnyway;
    } else {
        run.Message = "Das Versionsdatum der zu installierenden Version ist" + CRLF +
                      "älter als das Datum der installierten Version." + CRLF + CRLF +
                      "Installierte Version: " + installed.label + " vom " + installed.date + CRLF +
                      CRLF + "Update-Version:       " + update.label + " vom " + update.date +
                      CRLF + CRLF + kInstallAnyway;
    }
    if (!Ask(run)) {
        run.Cancelled = true;
        return false;
    }
    return true;
}

// Started by hand: the installed version is unknown; say which one the archive holds.
bool ConfirmWithoutInstalled(UpdateRun& run) {
    run.VersionNote.clear();
    const std::int32_t count = ExtractVersionFile(run, false);
    if (count > 0) {
        if (ProbeFile(run.os, VersionFilePath(run.InstallDir))) {
            run.VersionNote = UpdateNote(ReadUpdateVersion(run)) + CRLF + CRLF;
        } else {
            run.VersionNote = kNotInArchive + CRLF + CRLF;
        }
    }
    run.Message = run.VersionNote + "Die aktuelle ORVEN-Version kann nicht ermittelt werden." +
                  CRLF +
                  "Sie können die Versionen nur vergleichen, wenn Sie das Update aus ORVEN "
                  "starten." +
                  CRLF + CRLF + kInstallAnyway;
    return Ask(run);
}

// The version check; true when the user wants the update installed.
bool ConfirmVersion(UpdateRun& run) {
    return run.os.commandLine().empty() ? ConfirmWithoutInstalled(run)
                                        : ConfirmAgainstInstalled(run);
}

void ReportCopied(UpdateRun& run) {
    if (run.CopiedCount < 1 && !run.InstallIncomplete) {
        Show(run, "Keine Dateien zum Kopieren vorhanden.", "ORVEN-Update installieren",
             style::kCritical);
        return;
    }
    const std::string countLine =
        run.CopiedCount == 1 ? std::string("Es wurde 1 Datei kopiert.")
                             : "Es wurden " + std::to_string(run.CopiedCount) + " Dateien kopiert.";
    // A row whose error box the user has seen must not be followed by a note of success.
    if (run.InstallIncomplete) {
        run.Message = "ORVEN-Update nicht vollständig installiert." + CRLF + CRLF + countLine;
        Show(run, run.Message, "ORVEN-Update installieren", style::kCritical);
        return;
    }
    run.Message = "ORVEN-Update ordnungsgemäß installiert." + CRLF + CRLF + countLine;
    Show(run, run.Message, "ORV-Update installieren", style::kInformation);
}

InstallationDirs Dirs(const UpdateRun& run) {
    return {run.InstallDir, run.DbDir1, run.DbDir2, run.DbDir3};
}

// A file that the installation writes.
struct Target {
    std::string folder; // ending in its separator
    std::string path;   // the file as its folder holds it, where it exists
    std::uint64_t size = 0;
    bool folderExists = false;
    bool exists = false;
};

// Every file of the plan, each under the name its folder holds it by where it exists. Each
// folder is read once; a folder that cannot be read is taken for one that does not exist yet:
// its row makes it, or fails with its own box.
std::vector<Target> TargetsOfPlan(UpdateRun& run) {
    FileSystem& files = run.os.files();
    const StoredEntries stored = run.zip.entriesOf(run.ArchivePath);
    const std::vector<RowPlacement> rows =
        PlaceEntries(ExtractionPlan(Dirs(run)), stored.names, run.ArchivePath);
    std::map<std::u32string, std::unique_ptr<KnownFolder>> folders;
    std::vector<Target> targets;
    for (const RowPlacement& row : rows) {
        for (const PlacedEntry& entry : row.entries) {
            if (entry.folder) continue;
            const FolderAndName place = SplitFolder(entry.path);
            const auto [known, isNew] = folders.try_emplace(FoldedPath(place.folder));
            if (isNew) {
                try {
                    known->second = std::make_unique<KnownFolder>(files, place.folder, false);
                } catch (const RuntimeError&) {
                }
            }
            Target& target = targets.emplace_back(
                Target{place.folder, entry.path, stored.sizes[entry.index], false, false});
            if (known->second == nullptr) continue;
            target.folderExists = true;
            if (const auto name = known->second->find(place.name)) {
                target.path = known->second->pathOf(*name);
                target.exists = true;
            }
        }
    }
    return targets;
}

// What keeps a file from being replaced now: nothing, another program, or a missing right.
enum class Obstacle { None, Held, Denied };

Obstacle ObstacleTo(UpdateRun& run, const std::string& path) {
    try {
        run.os.files().probeReplace(path);
        return Obstacle::None;
    } catch (const RuntimeError& error) {
        if (error.held()) return Obstacle::Held;
        if (error.denied()) return Obstacle::Denied;
        return Obstacle::None; // a missing file is no held one; the row meets anything else
    }
}

// A file that the user may not replace stops the run before anything changes: no wait helps.
void RefuseForRights(UpdateRun& run, const std::string& path) {
    Note(run, "Keine Rechte zum Ersetzen, nichts wird installiert: " + path);
    run.Message = "Die Datei " + path + " kann nicht ersetzt werden:" + CRLF +
                  "Ihnen fehlen die Schreibrechte." + CRLF + CRLF +
                  "Das Update wurde nicht installiert.";
    Show(run, run.Message, "Fehler beim Update", style::kCritical);
}

// The first file of the plan that the user may not replace (in a folder where no file may be
// made, or itself refused); none when there is none. Each folder is asked once.
std::optional<std::string> FirstDenied(UpdateRun& run, const std::vector<Target>& targets) {
    std::map<std::u32string, bool> writable;
    for (const Target& target : targets) {
        if (!target.folderExists) continue;
        const auto [known, isNew] = writable.try_emplace(FoldedPath(target.folder), true);
        if (isNew) {
            try {
                run.os.files().probeWriteFolder(target.folder);
            } catch (const RuntimeError& error) {
                known->second = !error.denied();
            }
        }
        if (!known->second) return target.path;
        if (target.exists && ObstacleTo(run, target.path) == Obstacle::Denied) return target.path;
    }
    return std::nullopt;
}

// What the installation needs on a volume, and what the volume has.
struct Space {
    Volume volume;
    std::uint64_t needed = 0;
};

// Each volume that the plan writes to, in the order of the plan, with the unpacked sizes of all
// files it writes there (the new files lie beside the old ones until their row ends). A file
// whose folder is still to be made lies on the volume of the nearest folder above it that
// exists; one with no such folder is left to its row.
std::vector<Space> SpaceOfPlan(UpdateRun& run, const std::vector<Target>& targets) {
    FileSystem& files = run.os.files();
    std::map<std::u32string, std::optional<std::string>> existing; // folder -> the volume's id
    std::vector<Space> volumes;
    for (const Target& target : targets) {
        const auto [known, isNew] = existing.try_emplace(FoldedPath(target.folder));
        if (isNew) {
            std::vector<std::string> levels = FolderLevels(target.folder);
            levels.insert(levels.begin(), DriveRootOf(target.folder));
            if (target.folderExists) levels = {target.folder};
            for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
                if (!target.folderExists && !files.directoryExists(*level)) continue;
                const Volume volume = files.volumeOf(*level);
                known->second = volume.id;
                const bool seen = std::ranges::any_of(volumes, [&volume](const Space& space) {
                    return space.volume.id == volume.id;
                });
                if (!seen) volumes.push_back({volume, 0});
                break;
            }
        }
        if (!known->second) continue;
        for (Space& space : volumes) {
            if (space.volume.id == *known->second) space.needed += target.size;
        }
    }
    return volumes;
}

// Enough room on every volume for what the plan writes there, and a megabyte more; otherwise
// the note that names the drive, and nothing is installed. A volume that another program fills
// meanwhile fails its row as any other failure does.
bool EnoughSpace(UpdateRun& run, const std::vector<Target>& targets) {
    constexpr std::uint64_t kMegabyte = 1024 * 1024;
    for (const Space& space : SpaceOfPlan(run, targets)) {
        const std::uint64_t needed = space.needed + kMegabyte;
        if (space.volume.freeBytes >= needed) continue;
        const std::string neededMb = std::to_string((needed + kMegabyte - 1) / kMegabyte);
        const std::string freeMb = std::to_string(space.volume.freeBytes / kMegabyte);
        Note(run, "Zu wenig Platz auf " + space.volume.name + ": " + std::to_string(needed) +
                      " Bytes benötigt, " + std::to_string(space.volume.freeBytes) +
                      " frei; nichts wird installiert");
        run.Message = "Auf dem Laufwerk " + space.volume.name +
                      " ist nicht genügend Speicherplatz frei." + CRLF + "Benötigt: " + neededMb +
                      " MB, frei: " + freeMb + " MB." + CRLF + CRLF +
                      "Das Update wurde nicht installiert.";
        Show(run, run.Message, "Fehler beim Update", style::kCritical);
        return false;
    }
    return true;
}

// Before anything is changed, every file that the installation replaces must be free, and
// there must be room for the new ones: a file that the user may not replace stops the run at
// once, and so does too little space; a file that another program holds is
// waited for a while (the application that started the updater is often still closing, a
// virus scanner holds a new file for a moment). A file still held then stops the run before
// its first row, with the note that the application is open, so that the installation is
// never left half old, half new. False in either case.
bool ReadyToInstall(UpdateRun& run) {
    std::vector<Target> targets;
    try {
        targets = TargetsOfPlan(run);
    } catch (const RuntimeError&) {
        return true; // an archive that cannot be read fails in its rows, with their own boxes
    }
    if (const std::optional<std::string> denied = FirstDenied(run, targets)) {
        RefuseForRights(run, *denied);
        return false;
    }
    if (!EnoughSpace(run, targets)) return false;
    int waited = 0;
    for (const Target& target : targets) {
        if (!target.exists || ObstacleTo(run, target.path) != Obstacle::Held) continue;
        const std::string& path = target.path;
        Note(run, "Warte auf eine von einem anderen Programm geöffnete Datei: " + path);
        for (Obstacle now = Obstacle::Held; now != Obstacle::None; now = ObstacleTo(run, path)) {
            if (now == Obstacle::Denied) {
                RefuseForRights(run, path);
                return false;
            }
            if (waited >= kHeldWaitMilliseconds) {
                Note(run, "Nach " + std::to_string(waited / 1000) +
                              " s noch geöffnet, nichts wird installiert: " + path);
                ShowApplicationOpen(run.os);
                return false;
            }
            run.os.pause(kHeldPollMilliseconds);
            waited += kHeldPollMilliseconds;
        }
        Note(run, "Wieder frei: " + path);
    }
    return true;
}

// What an earlier run had to move aside of the updater itself, which was running then, goes
// now; what still resists stays for the next run.
void RemoveUpdatersLeftovers(UpdateRun& run) {
    try {
        run.zip.removeLeftovers(run.os.ownDirectory() + "\\orvupd.exe");
    } catch (const RuntimeError&) {
    }
}

// The installation proper and the report.
void Install(UpdateRun& run) {
    RemoveUpdatersLeftovers(run);
    run.Start.setFrameVisible(true);
    run.Start.setFrameCaption("Update wird ausgeführt, bitte warten ...");
    run.Start.refreshFrame();
    run.Start.setLabelVisible(false);
    run.Start.refreshLabel();

    // A row that failed, or whose entries could not leave the archive, makes the installation
    // incomplete, and the report says so.
    RunRoutines routines{run};
    for (const StageOutcome& row :
         RunPlan(ExtractionPlan(Dirs(run)), routines, AddToCopiedCount(run))) {
        if (row.extraction.failed || row.removalFailed) run.InstallIncomplete = true;
    }

    run.StatusShown = false;
    run.Start.unload();
    ReportCopied(run);

    if (!run.os.commandLine().empty()) {
        run.StatusShown = true;
        run.Start.show();
        run.Start.refresh();
        run.Start.setFrameVisible(false);
        run.Start.refreshFrame();
        run.Start.setLabelVisible(true);
        run.Start.setLabelCaption("ORVEN wird gestartet, bitte warten ...");
        run.Start.refreshLabel();
    }
}

void ReportError(UpdateRun& run, const RuntimeError& error) {
    Note(run, ErrorForLog(error));
    run.Message = "Fehler beim Installieren des ORVEN-Updates" + CRLF + CRLF +
                  "Fehlercode = " + std::to_string(error.number()) + CRLF +
                  "Fehler =     " + error.description();
    Show(run, run.Message, "Fehler", style::kCritical);
}

// Puts the delivered archive back: the backup is moved over the archive in one step and so
// disappears only once the archive is whole again.
void RestoreArchive(UpdateRun& run) {
    // The probe of the archive tells the user when the application still holds it.
    static_cast<void>(ProbeFile(run.os, run.ArchivePath));
    if (ProbeFile(run.os, run.BackupPath)) {
        run.os.patientFiles().replaceFile(run.BackupPath, run.ArchivePath);
        // The delivered archive is back under its name on the disk before the run ends.
        run.os.files().syncFolder(run.InstallDir + "\\update");
        Note(run, "Archiv wiederhergestellt: " + run.ArchivePath);
    }
}

// The record goes last, once the archive is back as delivered on the disk.
void EndRecord(UpdateRun& run) {
    run.Journal->end();
    Note(run, "Protokoll des Laufs entfernt: " + run.RecordPath);
}

// The exit's steps. Once the archive could not be put back, the last pass leaves out the
// restore (its backup stays beside the archive) and the note already shown.
void RunExitSection(UpdateRun& run, bool restoreGivenUp) {
    if (run.Cancelled && !restoreGivenUp) {
        Show(run, "ORV-Update wurde abgebrochen!" + CRLF + CRLF + "ORVEN wird wieder gestartet!",
             "ORV-Update abbrechen", style::kInformation);
    }
    if (run.BackupMade && !restoreGivenUp) RestoreArchive(run);
    if (run.Journal->begun() && !restoreGivenUp) EndRecord(run);
    if (!run.os.commandLine().empty()) {
        Note(run, "Neustart von ORVEN angefordert: " + ApplicationPath(run.InstallDir));
        run.frmShellExecute.show(run.InstallDir);
        run.frmShellExecute.unload();
    }
    if (run.StatusShown) run.Start.unload();
}

// Every way through the run but the missing INI file ends here. An error inside it is
// reported and the exit starts again; a failure that persists (an archive that cannot be put
// back) is reported a bounded number of times, and the application is still started again.
void ExitSection(UpdateRun& run) {
    for (int attempt = 1; attempt <= kExitAttempts; ++attempt) {
        try {
            RunExitSection(run, false);
            return;
        } catch (...) {
            ReportError(run, CurrentError());
        }
    }
    try {
        RunExitSection(run, true);
    } catch (...) {
        ReportError(run, CurrentError());
    }
}

// How a run ends: through the exit, or at once, with nothing to undo and no one to restart.
enum class Ending { ThroughExit, AtOnce };

// The run up to the end of the installation.
Ending RunUpdate(UpdateRun& run) {
    Note(run, VersionTitle(run.os.version()) + " in " + run.os.ownDirectory() +
                  ", Befehlszeile \"" + run.os.commandLine() + "\"");
    WorkOutInstallDir(run);
    if (!ClaimInstallation(run)) return Ending::AtOnce;
    OpenLog(run);
    if (!LocateInstallation(run)) return Ending::ThroughExit;
    if (!LocateIni(run)) return Ending::AtOnce;
    if (!LocateArchive(run)) return Ending::ThroughExit;
    OpenStatusWindow(run);
    DealWithInterruptedRun(run);
    std::unique_ptr<InputFile> hold;
    if (!ArchiveIsSigned(run, hold)) return Ending::ThroughExit;
    if (!BackUpArchive(run)) return Ending::ThroughExit;
    hold.reset();
    ReadDatabaseDirectories(run);
    if (ConfirmVersion(run) && ReadyToInstall(run)) Install(run);
    return Ending::ThroughExit;
}

} // namespace

// The run with a zip component whose files are the journal's.
void MainWith(Platform& os, ZipComponent& zip, ArchiveJournal& journal) {
    UpdateRun run{os, zip};
    run.Journal = &journal;
    Ending ending = Ending::ThroughExit;
    try {
        ending = RunUpdate(run);
    } catch (...) {
        ReportError(run, CurrentError());
    }
    if (ending == Ending::ThroughExit) ExitSection(run);
    os.log().note("Ende");
    os.log().close();
}

// Another zip component reaches the archive by ways of its own: the record then holds the
// delivery alone.
void Main(Platform& os, ZipComponent& zip) {
    ArchiveJournal journal{os.patientFiles()};
    MainWith(os, zip, journal);
}

} // namespace orv
