#include "reliability/update_scenario.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace orv::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVersionLine = "15.03.2019 3.1\r\n";

// Contents that deflate does not shrink much, so that a file takes several writes.
std::string Noise(std::size_t size, std::uint32_t seed) {
    std::string text(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : text) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xFF);
    }
    return text;
}

// Adds an entry and the file it becomes.
void Add(UpdateShape& shape, const std::string& entry, const std::string& target,
         std::string contents, std::optional<std::string> old = std::nullopt) {
    shape.entries.push_back({entry, contents});
    shape.targets.push_back({target, std::move(old), std::move(contents)});
}

UpdateShape WithDatabasesAndLibraries(const std::string& name) {
    UpdateShape shape{name, {}, {}};
    Add(shape, "orvupd.txt", "ORVEN32/orv/orvupd.txt", kVersionLine);
    Add(shape, "ORVTABS.MDB", "ORVEN32/KEYTABS/ORVTABS.MDB", "schluesseltabellen 3.1",
        "schluesseltabellen 3.0");
    Add(shape, "MUNDAREL.MDB", "ORVEN32/KEYTABS/MUNDAREL.MDB", "mundarten 3.1");
    Add(shape, "ORVEN.MDB", "DATEN/ORVEN.MDB", Noise(150000, 1), "hauptdatenbank 3.0");
    Add(shape, "ORVVW.MDB", "DATEN/VW/ORVVW.MDB", "verwaltung 3.1");
    Add(shape, "SYSTEM/orvgrid.ocx", "SYSTEM/orvgrid.ocx", "steuerelement 3.1",
        "steuerelement 3.0");
    Add(shape, "SYSTEM/orvcalc.dll", "SYSTEM/orvcalc.dll", "bibliothek 3.1");
    Add(shape, "orv/orven32.exe", "ORVEN32/orv/orven32.exe", Noise(90000, 2), "ORVEN 3.0");
    shape.entries.push_back({"orv/hilfe/", ""});
    Add(shape, "orv/hilfe/orven.chm", "ORVEN32/orv/hilfe/orven.chm", "hilfe 3.1");
    Add(shape, "liesmich.txt", "ORVEN32/liesmich.txt", "neu", "alt");
    Add(shape, "vorlagen/brief.dot", "ORVEN32/vorlagen/brief.dot", "briefvorlage");
    return shape;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// A run whose row for an entry failed, or that could not read the INI file, still puts that
// entry into the installation: the last row takes every entry left in the archive, and the
// databases go to the application directory without their INI values.
bool IsCaughtByTheLastRow(const UpdateShape& shape, const std::string& path,
                          const std::string& contents) {
    if (path.rfind("ORVEN32/", 0) != 0) return false;
    return std::any_of(shape.entries.begin(), shape.entries.end(), [&](const ZipEntry& entry) {
        return !entry.name.empty() && entry.name.back() != '/' && entry.contents == contents &&
               EndsWithNoCase(path, "/" + entry.name);
    });
}

void Check(std::vector<std::string>& problems, bool ok, const std::string& problem) {
    if (!ok) problems.push_back(problem);
}

} // namespace

UpdateShape RepresentativeUpdate() {
    return WithDatabasesAndLibraries("representative");
}

UpdateShape LargerUpdate() {
    UpdateShape shape = WithDatabasesAndLibraries("larger");
    for (int i = 1; i <= 20; ++i) {
        const std::string file = "daten/d" + std::to_string(i) + ".txt";
        const std::size_t size = i % 7 == 0 ? 100000 : 200 + static_cast<std::size_t>(i);
        std::optional<std::string> old;
        if (i % 3 == 0) old = "alt " + std::to_string(i);
        Add(shape, "orv/" + file, "ORVEN32/orv/" + file,
            Noise(size, static_cast<std::uint32_t>(i + 10)), old);
    }
    return shape;
}

UpdateShape SmallUpdate() {
    UpdateShape shape{"small", {}, {}};
    Add(shape, "orvupd.txt", "ORVEN32/orv/orvupd.txt", kVersionLine);
    Add(shape, "liesmich.txt", "ORVEN32/liesmich.txt", "neu", "alt");
    return shape;
}

UpdateShape EmptyingUpdate() {
    UpdateShape shape{"emptying", {}, {}};
    Add(shape, "orvupd.txt", "ORVEN32/orv/orvupd.txt", kVersionLine);
    Add(shape, "ORVTABS.MDB", "ORVEN32/KEYTABS/ORVTABS.MDB", "schluesseltabellen 3.1",
        "schluesseltabellen 3.0");
    Add(shape, "ORVEN.MDB", "DATEN/ORVEN.MDB", Noise(150000, 3), "hauptdatenbank 3.0");
    Add(shape, "ORVVW.MDB", "DATEN/VW/ORVVW.MDB", "verwaltung 3.1");
    Add(shape, "SYSTEM/orvgrid.ocx", "SYSTEM/orvgrid.ocx", "steuerelement 3.1");
    Add(shape, "SYSTEM/orvcalc.dll", "SYSTEM/orvcalc.dll", "bibliothek 3.1", "bibliothek 3.0");
    return shape;
}

UpdateShape SelfReplacingUpdate() {
    UpdateShape shape{"selfreplacing", {}, {}};
    Add(shape, "orvupd.txt", "ORVEN32/orv/orvupd.txt", kVersionLine);
    Add(shape, "UPDATE/orvupd", "ORVEN32/UPDATE/orvupd", Noise(40000, 4), "ORVUPD 3.0");
    Add(shape, "liesmich.txt", "ORVEN32/liesmich.txt", "neu", "alt");
    return shape;
}

std::string ShapeName(const ::testing::TestParamInfo<UpdateShape (*)()>& info) {
    return info.param().name;
}

void ConfigureLikeInstallation(RecordingPlatform& os) {
    os.ownDir = "C:\\ORVEN32\\UPDATE";
    os.windowsDir = "C:\\WINDOWS";
    os.commandLineText = kInstalledVersion;
}

ScenarioRun::ScenarioRun(const UpdateShape& updateShape) : shape(updateShape) {
    for (const TargetFile& target : shape.targets) {
        if (target.old) inst.box.writeFile(target.path, *target.old);
    }
    inst.writeArchive(shape.entries);
    delivered = inst.archiveBytes();
    before = files();
}

std::map<std::string, std::string> ScenarioRun::files() const {
    std::map<std::string, std::string> files = FilesBelow(inst.box.root());
    std::erase_if(files, [](const auto& file) { return Installation::IsRunLog(file.first); });
    return files;
}

std::vector<std::string> ScenarioRun::damage() const {
    std::vector<std::string> problems;
    const std::map<std::string, std::string> all = files();
    std::map<std::string, std::string> now = all;

    const auto archive = now.find(Installation::kArchive);
    const auto backup = now.find(Installation::kBackup);
    const bool archiveWhole = archive != now.end() && archive->second == delivered;
    const bool backupWhole = backup != now.end() && backup->second == delivered;
    Check(problems, archiveWhole || backupWhole,
          "neither the archive nor its backup is as delivered");
    if (archive != now.end()) now.erase(archive);
    if (backup != now.end()) now.erase(backup);

    for (const TargetFile& target : shape.targets) {
        const auto found = now.find(target.path);
        if (found == now.end()) {
            Check(problems, !target.old, target.path + ": the old file is lost");
            continue;
        }
        Check(problems,
              found->second == target.fresh || (target.old && found->second == *target.old),
              target.path + ": neither old nor new");
        now.erase(found);
    }
    for (const auto& [path, contents] : now) {
        const auto was = before.find(path);
        if (was == before.end()) {
            if (IsCaughtByTheLastRow(shape, path, contents)) continue;
            problems.push_back(path + ": left behind");
        } else {
            Check(problems, was->second == contents, path + ": changed");
        }
    }
    for (const auto& [path, contents] : before) {
        const bool target = std::any_of(shape.targets.begin(), shape.targets.end(),
                                        [&path](const TargetFile& t) { return t.path == path; });
        Check(problems, target || path == Installation::kArchive || all.count(path) > 0,
              path + ": lost");
    }
    return problems;
}

std::vector<std::string> ScenarioRun::incompleteness() const {
    std::vector<std::string> problems;
    std::map<std::string, std::string> now = files();
    const auto archive = now.find(Installation::kArchive);
    Check(problems, archive != now.end() && archive->second == delivered,
          "the archive is not as delivered");
    if (archive != now.end()) now.erase(archive);
    for (const TargetFile& target : shape.targets) {
        const auto found = now.find(target.path);
        if (found == now.end()) {
            problems.push_back(target.path + ": missing");
            continue;
        }
        Check(problems, found->second == target.fresh, target.path + ": not the new file");
        now.erase(found);
    }
    for (const auto& [path, contents] : now) {
        const auto was = before.find(path);
        Check(problems, was != before.end() && was->second == contents,
              path + (was == before.end() ? ": left behind" : ": changed"));
    }
    return problems;
}

std::map<std::string, std::string> FilesBelow(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) continue;
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        std::ifstream in(entry.path(), std::ios::binary);
        files[relative] = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    return files;
}

std::string Joined(const std::vector<std::string>& problems) {
    std::string joined;
    for (const std::string& problem : problems) {
        if (!joined.empty()) joined += ", ";
        joined += problem;
    }
    return joined;
}

} // namespace orv::testing
