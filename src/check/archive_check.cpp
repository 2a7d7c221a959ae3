#include "check/archive_check.h"

#include <algorithm>
#include <set>

#include "archive/entry_path.h"
#include "archive/mask.h"
#include "archive/zipkit/zipkit.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace orv::check {
namespace {

// The entry that the version file's stage writes where the updater then reads it.
constexpr const char* kVersionFile = "orvupd.txt";
// An updater in the archive lands on the running one.
constexpr const char* kUpdaterEntry = "UPDATE/orvupd.exe";

// Windows: a path that programs without long-path support can open has at most 259
// characters; no file system holds a name of more than 255.
constexpr std::size_t kMaxPathLength = 259;
constexpr std::size_t kMaxNameLength = 255;

using zipkit::EntryReview;

bool SamePath(std::string_view a, std::string_view b) {
    return FoldedPath(WithoutFolderMark(a)) == FoldedPath(WithoutFolderMark(b));
}

// The length in UTF-16 units, as Windows counts it; a byte that is no UTF-8 is one unit.
std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = text::NextCharacter(text, pos);
        units += c >= 0x10000 && c < text::kUndecodedByte ? 2 : 1;
    }
    return units;
}

std::size_t LongestComponent(std::string_view path) {
    std::size_t longest = 0;
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('\\', begin);
        if (end == std::string_view::npos) end = path.size();
        longest = std::max(longest, Utf16Length(path.substr(begin, end - begin)));
        begin = end + 1;
    }
    return longest;
}

std::string ErrorLine(const RuntimeError& error) {
    return "Fehler " + std::to_string(error.number()) + ": " + error.description();
}

std::string RowName(const Stage& stage) {
    if (stage.number == "V") return "die Versionsdatei (" + stage.row.mask + ")";
    return "Zeile " + stage.number + " (" + stage.row.mask + ")";
}

// The last component of a stored path.
std::string_view FileName(std::string_view storedPath) {
    const std::string_view path = WithoutFolderMark(storedPath);
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsDigits(const std::string& line, std::size_t from, std::size_t count) {
    return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(from),
                       line.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](char c) { return c >= '0' && c <= '9'; });
}

int Number(const std::string& line, std::size_t from, std::size_t count) {
    return std::stoi(line.substr(from, count));
}

bool IsDate(int day, int month, int year) {
    constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day < 29 || leap;
}

// What keeps a version line from reading as "dd.mm.yyyy version".
std::vector<std::string> Flaws(const std::string& line) {
    if (line.size() < 10) return {"kürzer als die zehn Zeichen des Datums"};
    std::vector<std::string> flaws;
    if (!IsDigits(line, 0, 2) || line[2] != '.' || !IsDigits(line, 3, 2) || line[5] != '.' ||
        !IsDigits(line, 6, 4)) {
        flaws.emplace_back("die Zeichen 1 bis 10 sind kein Datum TT.MM.JJJJ");
    } else if (!IsDate(Number(line, 0, 2), Number(line, 3, 2), Number(line, 6, 4))) {
        flaws.emplace_back(line.substr(0, 10) + " ist kein Kalenderdatum");
    }
    if (line.size() < 12 || line[10] != ' ' || line.find_first_not_of(' ', 10) == line.npos) {
        flaws.emplace_back("ab Zeichen 11 steht nicht ein Leerzeichen und die Version");
    }
    return flaws;
}

// One run of the updater over the archive, its stages made on a simulation of the archive
// routines: which entries are still in it, and what has been found so far.
class Run : public ArchiveRoutines {
  public:
    Run(FileSystem& files, const std::string& archivePath, const InstallationDirs& dirs)
        : files_(files), archivePath_(archivePath),
          updaterArchive_(dirs.installDir + "\\update\\orvupd.zip"),
          reviews_(zipkit::ReviewEntries(files, archivePath)) {
        result_.dirs = dirs;
        for (std::size_t i = 0; i < reviews_.size(); ++i) {
            remaining_.push_back(i);
        }
        try {
            zipkit::CheckRemovable(files, archivePath);
        } catch (const RuntimeError& error) {
            removalRefused_ = error;
        }
    }

    // One extraction as the updater makes it: every remaining entry the mask matches, checked
    // before anything is written. The first stage is the version file's, the rows follow.
    Extraction extract(const PlanRow& row) override {
        const std::string number =
            result_.stages.empty() ? "V" : std::to_string(result_.stages.size());
        const std::vector<RowPlacement> placed =
            PlaceEntries({row}, remainingNames(), updaterArchive_);
        Stage& stage =
            result_.stages.emplace_back(Stage{number, row, placed.front().entries, 0, false, {}});
        const std::vector<std::size_t> taken = takenBy(stage);

        std::vector<std::string> names;
        for (const std::size_t i : taken) {
            names.push_back(reviews_[i].name);
            if (reviews_[i].refusal) refuse(stage, i, *reviews_[i].refusal);
        }
        for (const std::size_t k : CollidingEntries(names)) {
            refuse(stage, taken[k],
                   ErrorAbout(err::kZipDuplicateName, PrintableName(reviews_[taken[k]].name)));
        }
        if (!stage.fails) {
            stage.count = static_cast<int>(std::count_if(
                taken.begin(), taken.end(), [this](std::size_t i) { return !reviews_[i].folder; }));
        }
        return {stage.count, stage.fails};
    }

    // The removal after the last extraction: every remaining entry the mask matches leaves the
    // archive, unless the archive refuses removals.
    bool remove(const std::string& mask) override {
        Stage& stage = result_.stages.back();
        if (removalRefused_) {
            noteRemovalRefused(stage);
            return false;
        }
        std::erase_if(remaining_, [&](std::size_t i) {
            if (!MaskMatches(mask, WithoutFolderMark(reviews_[i].name))) {
                return false;
            }
            stage.removed.push_back(reviews_[i].name);
            return true;
        });
        return true;
    }

    // The version file's first line, as the updater reads it after the version file's stage.
    void readVersion() {
        const Stage& stage = result_.stages.front();
        if (stage.fails || stage.count == 0) {
            add(FindingKind::Missing, "",
                stage.entries.empty() ? std::string("Keine Versionsdatei orvupd.txt im Archiv.")
                                      : std::string("Die Versionsdatei wird nicht entpackt."));
            return;
        }
        const auto top = std::find_if(reviews_.begin(), reviews_.end(), [](const EntryReview& e) {
            return !e.folder && SamePath(e.name, kVersionFile);
        });
        if (top == reviews_.end()) {
            add(FindingKind::Misplaced, PrintableName(stage.entries.front().entry),
                "Die Versionsdatei liegt nicht oben im Archiv: der Updater sucht sie als " +
                    VersionFilePath(result_.dirs.installDir) +
                    " und meldet sie als nicht "
                    "gefunden (oder liest die eines früheren Updates).");
            return;
        }
        const std::string start =
            zipkit::ReadEntryStart(files_, archivePath_, top->index, kFirstLineLimit);
        if (start.empty()) {
            add(FindingKind::Refused, PrintableName(top->name),
                "Die Versionsdatei ist leer: das Lesen ihrer ersten Zeile scheitert (" +
                    ErrorLine(RuntimeError(err::kPastEndOfFile)) +
                    "), der Updater bricht die Installation ab.");
            return;
        }
        const std::string line = start.substr(0, start.find_first_of("\r\n"));
        result_.version = {line, ParseVersionLine(line), Flaws(line)};
        if (!result_.version.flaws.empty()) {
            std::string text = "Die Versionszeile ist nicht wohlgeformt: ";
            for (std::size_t i = 0; i < result_.version.flaws.size(); ++i) {
                text += (i == 0 ? "" : "; ") + result_.version.flaws[i];
            }
            add(FindingKind::Malformed, PrintableName(top->name),
                text + ". Der Updater vergleicht dann Datumsangaben, die keine sind.");
        }
    }

    // Entries that the last row writes into the installation although a row before it was
    // meant for them: a database inside a folder, which its exact mask misses.
    void findMissedRows() {
        const Stage& last = result_.stages.back();
        for (const PlacedEntry& placed : last.entries) {
            if (placed.folder) continue;
            const std::string_view name = FileName(placed.entry);
            for (const Stage& stage : result_.stages) {
                const PlanRow& row = stage.row;
                if (&stage == &last || !LeavesArchive(row)) continue;
                if (!MaskMatches(row.mask, name) ||
                    MaskMatches(row.mask, WithoutFolderMark(placed.entry))) {
                    continue;
                }
                const std::string meant =
                    PlacedPath(row.target, updaterArchive_, std::string(name));
                const std::string missed = "Liegt in einem Ordner: " + RowName(stage) +
                                           " erfasst nur " + row.mask + " oben im Archiv (nach " +
                                           meant + "); " + RowName(last) +
                                           " schreibt den Eintrag nach " + placed.path;
                // The folder may lead to where the row would have written, but only for these
                // database folders.
                if (SamePath(meant, placed.path)) {
                    add(FindingKind::Note, PrintableName(placed.entry),
                        missed + ", hier zufällig dieselbe Datei; mit anderen Datenbankordnern "
                                 "nicht.");
                } else {
                    add(FindingKind::Misplaced, PrintableName(placed.entry), missed + ".");
                }
            }
        }
    }

    void findLongPaths() {
        std::set<std::string> seen;
        for (const Stage& stage : result_.stages) {
            for (const PlacedEntry& placed : stage.entries) {
                if (!seen.insert(placed.path).second) continue;
                const std::string shown = PrintableName(placed.entry);
                if (LongestComponent(placed.path) > kMaxNameLength) {
                    add(FindingKind::TooLong, shown,
                        "Ein Namensteil von " + placed.path + " ist länger als " +
                            std::to_string(kMaxNameLength) +
                            " Zeichen: Windows legt die Datei nicht an.");
                } else if (Utf16Length(placed.path) > kMaxPathLength) {
                    add(FindingKind::TooLong, shown,
                        placed.path + " ist " + std::to_string(Utf16Length(placed.path)) +
                            " Zeichen lang (höchstens " + std::to_string(kMaxPathLength) +
                            "): Programme ohne Unterstützung langer Pfade öffnen die Datei "
                            "nicht.");
                }
            }
        }
    }

    // A file that a later extraction writes again: the later entry is what stays.
    void findOverwrites() {
        std::vector<std::pair<std::u32string, std::string>> written; // path, by which stage
        for (const Stage& stage : result_.stages) {
            if (stage.fails) continue;
            for (const PlacedEntry& placed : stage.entries) {
                if (placed.folder) continue;
                const std::u32string key = FoldedPath(placed.path);
                const auto earlier = std::find_if(written.begin(), written.end(),
                                                  [&key](const auto& w) { return w.first == key; });
                if (earlier == written.end()) {
                    written.emplace_back(key, RowName(stage));
                    continue;
                }
                add(FindingKind::Misplaced, PrintableName(placed.entry),
                    placed.path + " wird zweimal geschrieben, von " + earlier->second +
                        " und von " + RowName(stage) + "; es bleibt dieser Eintrag.");
            }
        }
    }

    void findNewUpdater() {
        for (const Stage& stage : result_.stages) {
            for (const PlacedEntry& placed : stage.entries) {
                if (placed.folder || !SamePath(placed.entry, kUpdaterEntry)) continue;
                add(FindingKind::Note, PrintableName(placed.entry),
                    "Ein neues Update-Programm: " + RowName(stage) + " schreibt es nach " +
                        placed.path + ", über das laufende; es wirkt erst beim nächsten Update.");
            }
        }
    }

    CheckResult take() { return std::move(result_); }

  private:
    std::vector<std::string> remainingNames() const {
        std::vector<std::string> names;
        names.reserve(remaining_.size());
        for (const std::size_t i : remaining_) {
            names.push_back(reviews_[i].name);
        }
        return names;
    }

    // The reviews of the stage's entries: the placement keeps the archive's order, so each
    // placed entry is the next remaining one of its name.
    std::vector<std::size_t> takenBy(const Stage& stage) const {
        std::vector<std::size_t> taken;
        auto next = remaining_.begin();
        for (const PlacedEntry& placed : stage.entries) {
            next = std::find_if(next, remaining_.end(),
                                [&](std::size_t i) { return reviews_[i].name == placed.entry; });
            taken.push_back(*next++);
        }
        return taken;
    }

    // An extraction fails on the entry; unless its row removes what its mask matched, the entry
    // stays in the archive for the rows after it.
    void refuse(Stage& stage, std::size_t review, const RuntimeError& error) {
        stage.fails = true;
        const auto known = std::find_if(refusals_.begin(), refusals_.end(),
                                        [review](const Refusal& r) { return r.review == review; });
        if (known == refusals_.end()) {
            refusals_.push_back({review, error, {RowName(stage)}});
        } else if (known->stages.back() != RowName(stage)) {
            known->stages.push_back(RowName(stage));
        }
    }

  public:
    // Each refused entry once, with every extraction that fails on it.
    void reportRefusals() {
        for (const Refusal& refusal : refusals_) {
            std::string stages;
            for (std::size_t i = 0; i < refusal.stages.size(); ++i) {
                stages += (i == 0 ? "" : ", ") + refusal.stages[i];
            }
            add(FindingKind::Refused, PrintableName(reviews_[refusal.review].name),
                ErrorLine(refusal.error) + ". Es " +
                    (refusal.stages.size() == 1 ? "bricht" : "brechen") + " ab: " + stages +
                    "; nichts davon wird geschrieben.");
        }
    }

  private:
    void noteRemovalRefused(const Stage& stage) {
        if (removalNoted_) return;
        removalNoted_ = true;
        add(FindingKind::Misplaced, "",
            "Einträge lassen sich nicht aus dem Archiv entfernen (" + ErrorLine(*removalRefused_) +
                "): was " + RowName(stage) +
                " und die Zeilen danach schreiben, schreibt die letzte Zeile ein zweites Mal in "
                "das Installationsverzeichnis.");
    }

    void add(FindingKind kind, std::string entry, std::string text) {
        result_.findings.push_back({kind, std::move(entry), std::move(text)});
    }

    FileSystem& files_;
    const std::string archivePath_;
    const std::string updaterArchive_;
    const std::vector<EntryReview> reviews_;
    std::vector<std::size_t> remaining_;
    std::optional<RuntimeError> removalRefused_;
    bool removalNoted_ = false;
    struct Refusal {
        std::size_t review;
        RuntimeError error;
        std::vector<std::string> stages;
    };
    std::vector<Refusal> refusals_;
    CheckResult result_;
};

} // namespace

bool IsProblem(const Finding& finding) {
    return finding.kind != FindingKind::Note;
}

CheckResult CheckArchive(FileSystem& files, const std::string& archivePath,
                         const InstallationDirs& dirs) {
    Run run{files, archivePath, dirs};
    RunStage(VersionStage(dirs.installDir, true), run);
    run.readVersion();
    RunPlan(ExtractionPlan(dirs), run);
    run.reportRefusals();
    run.findMissedRows();
    run.findOverwrites();
    run.findLongPaths();
    run.findNewUpdater();
    return run.take();
}

} // namespace orv::check
