// Every file operation of a whole update, made to fail once: the run must still end through
// its exit, tell the user what happened in one of its own messages, and leave every file
// either as it was or as the update brings it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>

#include "platform/runtime_error.h"
#include "reliability/sampling.h"
#include "reliability/update_scenario.h"
#include "update/main.h"

namespace orv {
namespace {

using testing::Box;
using testing::FileOp;
using testing::FileOpName;
using testing::ScenarioRun;
using testing::UpdateShape;

const std::vector<std::string> kMasks{"*orvupd.txt", "ORVTABS.MDB", "MUNDAREL.MDB", "ORVEN.MDB",
                                      "ORVVW.MDB",   "*.OCX",       "*.DLL",        "*.*"};

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// The messages that the updater may show in a run in which one operation failed with this
// number; each says whether the box is one of them.
std::vector<std::function<bool(const Box&)>> AllowedBoxes(int number) {
    const std::string description = ErrorText(number);
    const std::string general =
        "Fehler beim Installieren des ORVEN-Updates\r\n\r\nFehlercode = " + std::to_string(number) +
        "\r\nFehler =     " + description;
    const auto archiveRoutine = [description](const std::string& start) {
        return [start, description](const Box& box) {
            return box.title == "Fehler" && box.style == 16 &&
                   std::any_of(kMasks.begin(), kMasks.end(), [&](const std::string& mask) {
                       return box.text == start + mask + "\r\nFehler = " + description;
                   });
        };
    };
    const auto titled = [](std::string title, int style, std::string start) {
        return [title, style, start](const Box& box) {
            return box.title == title && box.style == style && StartsWith(box.text, start);
        };
    };
    std::vector<std::function<bool(const Box&)>> allowed{
        [general](const Box& box) {
            return box.title == "Fehler" && box.style == 16 && box.text == general;
        },
        archiveRoutine("Fehler beim entpacken der Datei(en) "),
        archiveRoutine("Fehler beim Löschen der Datei(en) "),
        titled("ORVEN-Update", 16, "Das Update-Programm wird aus dem Verzeichnis "),
        titled("Datei nicht vorhanden", 16, "ORVEN32.INI ist weder im Windows-Verzeichnis"),
        titled("Datei nicht vorhanden", 16, "Die Update-Datei orvupd.zip ist nicht im Verzeichnis"),
        titled("Fehler beim Update", 16, "Die Update-Datei konnte nicht entpackt werden."),
        titled("ORVEN-Update 3.0.0", 52, ""),
        titled("ORV-Update installieren", 64, "ORVEN-Update ordnungsgemäß installiert."),
        titled("ORVEN-Update installieren", 16, "Keine Dateien zum Kopieren vorhanden."),
        titled("ORVEN-Update installieren", 16, "ORVEN-Update nicht vollständig installiert."),
        titled("ORV-Update abbrechen", 64, "ORV-Update wurde abgebrochen!"),
    };
    if (number == err::kPermissionDenied) {
        allowed.push_back(
            titled("ORVEN geöffnet", 16, "Sie haben die Anwendung 'Korvelin - ORVEN'"));
    }
    return allowed;
}

// Faults that an operation of this kind meets in the field.
std::vector<int> NumbersFor(FileOp op) {
    if (op == FileOp::Probe || op == FileOp::Delete || op == FileOp::Copy ||
        op == FileOp::FirstLine || op == FileOp::Replace) {
        return {err::kDiskFull, err::kPermissionDenied, err::kFileNotFound};
    }
    // A sync meets the disk's own failures, found only when the data is written.
    if (op == FileOp::Sync) return {err::kDeviceIo, err::kDiskFull};
    return {err::kDiskFull, err::kPermissionDenied};
}

constexpr std::array<FileOp, testing::kFileOpCount> kAllOps{
    FileOp::Probe,      FileOp::Copy,    FileOp::Delete, FileOp::Time,
    FileOp::FirstLine,  FileOp::Replace, FileOp::Exists, FileOp::CreateDirectory,
    FileOp::CreateFile, FileOp::Write,   FileOp::Close,  FileOp::SetTime,
    FileOp::Sync};

// What one run with one fault did wrong, empty when nothing.
std::vector<std::string> RunWithFault(const UpdateShape& shape, FileOp op, std::size_t k,
                                      int number) {
    ScenarioRun scenario{shape};
    auto& os = scenario.inst.os;
    os.faulty.failAt(op, k, number);
    scenario.inst.run();

    std::vector<std::string> problems = scenario.damage();
    if (!os.faulty.faultRaised()) problems.push_back("the fault was never met");
    const auto allowed = AllowedBoxes(number);
    bool iniRefused = false;
    bool rowFailed = false;
    for (const Box& box : os.boxes) {
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&box](const auto& isAllowed) { return isAllowed(box); });
        if (!known) problems.push_back("unexpected box \"" + box.title + "\": " + box.text);
        iniRefused = iniRefused || StartsWith(box.text, "ORVEN32.INI ist weder");
        if (rowFailed && StartsWith(box.text, "ORVEN-Update ordnungsgemäß")) {
            problems.push_back("a failed row reported as success");
        }
        // The version file is read before the installation; its failure is no row's.
        rowFailed =
            rowFailed || (StartsWith(box.text, "Fehler beim entpacken") &&
                          !StartsWith(box.text, "Fehler beim entpacken der Datei(en) *orvupd"));
    }
    if (os.start.state().loaded) problems.push_back("the status window is still loaded");
    const std::size_t launches = iniRefused ? 0 : 1;
    if (os.launcher.launches.size() != launches) {
        problems.push_back("the application was started " +
                           std::to_string(os.launcher.launches.size()) + " times");
    }
    return problems;
}

class FaultInjection : public ::testing::TestWithParam<UpdateShape (*)()> {};

TEST_P(FaultInjection, EveryFailedOperationLeavesARunThatEndsCleanly) {
    const UpdateShape shape = GetParam()();

    ScenarioRun clean{shape};
    clean.inst.run();
    ASSERT_EQ(testing::Joined(clean.incompleteness()), "");
    ASSERT_EQ(clean.inst.os.boxes.size(), 2u);
    ASSERT_TRUE(StartsWith(clean.inst.os.boxes[1].text, "ORVEN-Update ordnungsgemäß installiert."));

    std::size_t injected = 0;
    for (const FileOp op : kAllOps) {
        const std::size_t count = clean.inst.os.faulty.count(op);
        for (std::size_t k = 1; k <= count; ++k) {
            if (!testing::Sampled(k, count)) continue;
            for (const int number : NumbersFor(op)) {
                const std::vector<std::string> problems = RunWithFault(shape, op, k, number);
                EXPECT_EQ(testing::Joined(problems), "")
                    << FileOpName(op) << " #" << k << " of " << count << " fails with " << number;
                ++injected;
            }
        }
    }
    std::cout << shape.name << ": " << injected << " faults injected\n";
}

INSTANTIATE_TEST_SUITE_P(Shapes, FaultInjection,
                         ::testing::Values(&testing::RepresentativeUpdate, &testing::SmallUpdate),
                         testing::ShapeName);

} // namespace
} // namespace orv
