#include "update/extraction_plan.h"

#include "archive/zipkit/archive_contents.h"
#include "archive/zipkit/entry_path.h"
#include "archive/zipkit/mask.h"

namespace orv {

InstallationDirs DirsOf(const std::string& installDir, const std::string& pfad1,
                        const std::string& pfad2, const std::string& pfad3) {
    const std::string appDir = installDir + "\\orv";
    return {installDir, pfad1.empty() ? appDir : pfad1, pfad2.empty() ? appDir : pfad2,
            pfad3.empty() ? installDir + "\\KEYTABS" : pfad3};
}

std::vector<PlanRow> ExtractionPlan(const InstallationDirs& dirs) {
    return {
        {"ORVTABS.MDB", dirs.dbDir3, true},
        {"MUNDAREL.MDB", dirs.dbDir3, true},
        {"ORVEN.MDB", dirs.dbDir1, true},
        {"ORVVW.MDB", dirs.dbDir2, true},
        {"*.OCX", "", true},
        {"*.DLL", "", true},
        {"*.*", dirs.installDir, false},
    };
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
            if (taken[i] || !zipkit::MaskMatches(row.mask, zipkit::WithoutFolderMark(name))) {
                continue;
            }
            placement.entries.push_back({name, zipkit::PlacedPath(row.target, archivePath, name),
                                         zipkit::IsFolderEntry(name), i});
            if (row.removeAfterwards) taken[i] = true;
        }
    }
    return rows;
}

} // namespace orv
