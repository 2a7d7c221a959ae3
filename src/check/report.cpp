#include "check/report.h"

#include <algorithm>
#include <sstream>

#include "archive/entry_path.h"
#include "archive/signature.h"
#include "env/environment.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace orv::check {
namespace {

constexpr std::size_t kWidestColumn = 40;

using Cells = std::vector<std::string>;

// Columns padded to their widest cell, counted in characters; the last column is not padded.
// A cell wider than kWidestColumn runs into the next column of its line, so that one long
// entry name does not push every other line apart.
class Table {
  public:
    // With a header the first row is underlined; without, every row is data.
    Table(Cells first, bool header) : underlined_(header) { rows_.push_back(std::move(first)); }

    void add(Cells row) { rows_.push_back(std::move(row)); }

    void write(std::ostream& out) const {
        std::vector<std::size_t> widths(rows_.front().size(), 0);
        for (const Cells& row : rows_) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                const std::size_t length = text::Len(row[c]);
                if (length <= kWidestColumn) widths[c] = std::max(widths[c], length);
            }
        }
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            out << Line(rows_[r], widths) << '\n';
            if (r > 0 || !underlined_) continue;
            Cells rules;
            for (std::size_t c = 0; c < widths.size(); ++c) {
                // The last column's cells run on; its rule is as long as its title.
                const bool last = c + 1 == widths.size();
                rules.emplace_back(last ? text::Len(rows_[0][c]) : widths[c], '-');
            }
            out << Line(rules, widths) << '\n';
        }
    }

  private:
    static std::string Line(const Cells& cells, const std::vector<std::size_t>& widths) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            line.append(2, ' ').append(cells[c]);
            const std::size_t length = text::Len(cells[c]);
            if (c + 1 < cells.size() && length < widths[c]) line.append(widths[c] - length, ' ');
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        return line;
    }

    bool underlined_;
    std::vector<Cells> rows_;
};

std::string KindName(FindingKind kind) {
    switch (kind) {
    case FindingKind::Refused:
        return "abgelehnt";
    case FindingKind::Misplaced:
        return "falsch abgelegt";
    case FindingKind::Missing:
        return "fehlt";
    case FindingKind::Malformed:
        return "Versionszeile";
    case FindingKind::TooLong:
        return "zu lang";
    case FindingKind::Note:
        return "Hinweis";
    }
    return "";
}

std::string TargetName(const std::string& target) {
    return target.empty() ? "\\ (Laufwerk des Archivs)" : target;
}

void WriteHead(std::ostream& out, const CheckSubject& subject, const InstallationDirs& dirs) {
    out << "Prüfung des Update-Archivs " << subject.archivePath << "\n\n";
    Table table{{"Installation", dirs.installDir + " (angenommen)"}, false};
    table.add({"Datenbankordner", subject.iniPath.empty()
                                      ? "Vorgaben des Updaters (keine INI-Datei angegeben)"
                                      : "aus " + subject.iniPath + ", Abschnitt ORVEN"});
    table.add({"  Pfad1", dirs.dbDir1});
    table.add({"  Pfad2", dirs.dbDir2});
    table.add({"  Pfad3", dirs.dbDir3});
    table.write(out);
}

void WriteVersion(std::ostream& out, const VersionCheck& version) {
    out << "\nVersionszeile (erste Zeile von orvupd.txt)\n";
    if (!version.line) {
        out << "  keine (siehe Befunde)\n";
        return;
    }
    Table table{{"Zeile", PrintableName(*version.line)}, false};
    table.add({"Datum", version.meaning.date});
    table.add({"Version", "\u201E" + version.meaning.label + "\u201C"});
    table.add({"Vergleichswert", version.meaning.key});
    table.add({"Form", version.flaws.empty() ? "wohlgeformt" : "nicht wohlgeformt"});
    table.write(out);
}

void WritePlan(std::ostream& out, const std::vector<Stage>& stages) {
    out << "\nEntpackplan\n";
    Table table{{"Nr", "Maske", "Ziel", "Dateien", "Eintrag", "wird geschrieben nach"}, true};
    for (const Stage& stage : stages) {
        const std::string count = stage.fails ? "0, bricht ab" : std::to_string(stage.count);
        if (stage.entries.empty()) {
            table.add(
                {stage.number, stage.row.mask, TargetName(stage.row.target), count, "(keine)", ""});
            continue;
        }
        bool first = true;
        for (const PlacedEntry& entry : stage.entries) {
            const std::string path = entry.path + (entry.folder ? "\\" : "");
            if (first) {
                table.add({stage.number, stage.row.mask, TargetName(stage.row.target), count,
                           PrintableName(entry.entry), path});
            } else {
                table.add({"", "", "", "", PrintableName(entry.entry), path});
            }
            first = false;
        }
    }
    table.write(out);
}

void WriteFindings(std::ostream& out, const std::vector<Finding>& findings) {
    out << "\nBefunde\n";
    if (findings.empty()) {
        out << "  keine\n";
        return;
    }
    Table table{{"Art", "Eintrag", "Befund"}, true};
    for (const Finding& finding : findings) {
        table.add(
            {KindName(finding.kind), finding.entry.empty() ? "-" : finding.entry, finding.text});
    }
    table.write(out);
}

void WriteVerdict(std::ostream& out, const CheckResult& result) {
    const auto problems = std::count_if(result.findings.begin(), result.findings.end(), IsProblem);
    out << "\nErgebnis: ";
    if (problems == 0) {
        out << "in Ordnung, der Updater installiert das Archiv wie geplant.\n";
    } else {
        out << (problems == 1 ? std::string("1 Befund") : std::to_string(problems) + " Befunde")
            << ": der Updater würde Einträge ablehnen oder falsch ablegen.\n";
    }
}

} // namespace

std::string FormatReport(const CheckSubject& subject, const CheckResult& result) {
    std::ostringstream out;
    WriteHead(out, subject, result.dirs);
    WriteVersion(out, result.version);
    WritePlan(out, result.stages);
    WriteFindings(out, result.findings);
    WriteVerdict(out, result);
    return out.str();
}

int ExitStatus(const CheckResult& result) {
    return std::any_of(result.findings.begin(), result.findings.end(), IsProblem) ? kArchiveFaulty
                                                                                  : kArchiveGood;
}

namespace {

// The signature's line of the report; true when the signature holds.
bool ReportSignature(FileSystem& files, const std::string& archivePath, const std::string& keyPath,
                     std::ostream& out) {
    const std::unique_ptr<InputFile> archive = files.openForReading(archivePath);
    const signature::SignatureCheck check =
        signature::CheckArchiveSignature(files, *archive, archivePath, keyPath);
    out << "Signatur" << (check.keyId.empty() ? std::string() : " (Schlüssel " + check.keyId + ")")
        << ": " << signature::VerdictText(check) << '\n';
    return check.verdict == signature::Verdict::Good;
}

} // namespace

int RunCheck(FileSystem& files, const std::vector<std::string>& arguments, const IniReader& readIni,
             std::ostream& out) {
    std::vector<std::string> operands = arguments;
    std::string keyPath;
    if (operands.size() >= 2 && operands[0] == "--key") {
        keyPath = operands[1];
        operands.erase(operands.begin(), operands.begin() + 2);
    }
    if (operands.empty() || operands.size() > 2 || operands[0] == "--key") {
        out << "Aufruf: orvupd-check [--key SCHLÜSSEL] ARCHIV [INI-DATEI]\n"
               "Zeigt, was der Updater mit dem Archiv täte: die Versionszeile, jede Zeile des "
               "Entpackplans mit ihren Einträgen und Zielen, und was er ablehnen oder falsch "
               "ablegen würde; mit --key auch, ob ARCHIV.minisig eine gültige Signatur mit dem "
               "öffentlichen Schlüssel (von minisign) ist.\n"
               "Ergebnis 0: in Ordnung, 1: Befunde oder keine gültige Signatur, 2: Archiv, "
               "Schlüssel oder INI-Datei nicht lesbar.\n";
        return kArchiveUnreadable;
    }
    const CheckSubject subject{operands[0], operands.size() == 2 ? operands[1] : ""};
    if (!keyPath.empty() && !files.fileExists(keyPath)) {
        out << "Der Schlüssel " << keyPath << " ist nicht vorhanden.\n";
        return kArchiveUnreadable;
    }

    IniFolders ini;
    if (!subject.iniPath.empty()) {
        if (!files.fileExists(subject.iniPath)) {
            out << "Die INI-Datei " << subject.iniPath << " ist nicht vorhanden.\n";
            return kArchiveUnreadable;
        }
        const auto value = [&](const char* key) {
            return readIni(subject.iniPath, "ORVEN", key, kIniBufferSize);
        };
        ini = {value("Pfad1"), value("Pfad2"), value("Pfad3")};
    }
    try {
        const CheckResult result =
            CheckArchive(files, subject.archivePath,
                         DirsOf(kDefaultInstallDir, ini.pfad1, ini.pfad2, ini.pfad3));
        const bool signatureHolds =
            keyPath.empty() || ReportSignature(files, subject.archivePath, keyPath, out);
        out << FormatReport(subject, result);
        if (signatureHolds) return ExitStatus(result);
        out << "Ohne gültige Signatur installiert der Updater das Archiv nicht.\n";
        return kArchiveFaulty;
    } catch (const RuntimeError& error) {
        out << "Das Archiv " << subject.archivePath << " kann nicht gelesen werden." << '\n'
            << "Fehler " << error.number() << ": " << error.description() << '\n';
        return kArchiveUnreadable;
    }
}

} // namespace orv::check
