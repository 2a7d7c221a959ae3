#include "update/extraction_plan.h"

#include "archive/entry_path.h"
#include "archive/mask.h"

namespace orv {

InstallationDirs DirsOf(const std::string& installDir, const std::string& pfad1,
                        const std::string& pfad2, const std::string& pfad3) {
    const std::string appDir = installDir + "\\orv";
    return {installDir, pfad1.empty() ? appDir : pfad1, pfad2.empty() ? appDir : pfad2,
            pfad3.empty() ? installDir + "\\KEYTABS" : pfad3};
}

bool LeavesArchive(const PlanRow& row) {
    return row.leaves != Leaves::Never;
}

PlanRow VersionStage(const std::string& installDir, bool startedByApplication) {
    return {"*orvupd.txt", installDir + "\\ORV",
            startedByApplication ? Counted::AboveZero : Counted::Never, Leaves::WhenTaken};
}

std::string VersionFilePath(const std::string& installDir) {
    return installDir + "\\orv\\orvupd.txt";
}

std::vector<PlanRow> ExtractionPlan(const InstallationDirs& dirs) {
    constexpr Counted kTaken = Counted::AboveZero;
    constexpr Leaves kPlaced = Leaves::WhenTakenOrFailed;
    return {
        {"ORVTABS.MDB", dirs.dbDir3, kTaken, kPlaced},
        {"MUNDAREL.MDB", dirs.dbDir3, kTaken, kPlaced},
        {"ORVEN.MDB", dirs.dbDir1, kTaken, kPlaced},
        {"ORVVW.MDB", dirs.dbDir2, kTaken, kPlaced},
        {"*.OCX", "", kTaken, kPlaced},
        {"*.DLL", "", kTaken, kPlaced},
        {"*.*", dirs.installDir, Counted::Always, Leaves::Never},
    };
}

namespace {

bool Counts(Counted counted, std::int32_t count) {
    return counted == Counted::Always || (counted == Counted::AboveZero && count > 0);
}

bool Leave(Leaves leaves, const Extraction& extraction) {
    switch (leaves) {
    case Leaves::Never:
        return false;
    case Leaves::WhenTaken:
        return extraction.count > 0;
    case Leaves::WhenTakenOrFailed:
        return extraction.count > 0 || extraction.failed;
    }
    return false;
}

} // namespace

StageOutcome RunStage(const PlanRow& stage, ArchiveRoutines& routines, const CountSink& addCount) {
    StageOutcome outcome{routines.extract(stage)};
    if (addCount && Counts(stage.counted, outcome.extraction.count)) {
        addCount(outcome.extraction.count);
    }
    if (Leave(stage.leaves, outcome.extraction)) {
        outcome.removalMade = true;
        outcome.removalFailed = !routines.remove(stage.mask);
    }
    return outcome;
}

std::vector<StageOutcome> RunPlan(const std::vector<PlanRow>& plan, ArchiveRoutines& routines,
                                  const CountSink& addCount) {
    std::vector<StageOutcome> outcomes;
    outcomes.reserve(plan.size());
    for (const PlanRow& row : plan) {
        outcomes.push_back(RunStage(row, routines, addCount));
    }
    return outcomes;
}

std::vector<RowPlacement> PlaceEntries(const std::vector<PlanRow>& plan,
                                       const std::vector<std::string>& entryNames,
                                       const std::string& archivePath) {
    std::vector<bool> taken(entryNames.size(), false);
    std::vector<RowPlacement> rows;
    rows.reserve(plan.size());
    for (const PlanRow& row : plan) {
        RowPlacement& placement = rows.emplace_back(RowPlacement{row, {}});
        for (std::size_t i = 0; i < entryNames.size(); ++i) {
            const std::string& name = entryNames[i];
            if (taken[i] || !MaskMatches(row.mask, WithoutFolderMark(name))) {
                continue;
            }
            placement.entries.push_back(
                {name, PlacedPath(row.target, archivePath, name), IsFolderEntry(name), i});
            if (LeavesArchive(row)) taken[i] = true;
        }
    }
    return rows;
}

} // namespace orv
