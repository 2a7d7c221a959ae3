// What the archive routines hand the zip component, and how they report its failures.

#include <gtest/gtest.h>

#include <optional>

#include "archive/archive_access.h"
#include "platform/runtime_error.h"
#include "support/installation.h"
#include "ui/start_window.h"

namespace orv {
namespace {

using testing::Installation;

struct Call {
    std::string what{};
    std::string archive{};
    std::string target{};
    std::string mask{};
    std::int32_t fourth = 0;
    bool passwordGiven = false;
    std::int32_t sixth = 0;
    ProgressTarget* progress = nullptr;
};

class RecordingZip : public ZipComponent {
  public:
    void SetLanguage(std::int32_t language) override {
        calls.push_back({.what = "SetLanguage " + std::to_string(language)});
    }
    std::int32_t UnZipEx(const std::string& archivePath, const std::string& targetDir,
                         const std::string& mask, std::int32_t overwriteAll, const char* password,
                         std::int32_t options, ProgressTarget* progress) override {
        calls.push_back({"UnZipEx", archivePath, targetDir, mask, overwriteAll, password != nullptr,
                         options, progress});
        if (failure) throw *failure;
        return count;
    }
    void ZipDeleteFile(const std::string& archivePath, const std::string& mask,
                       ProgressTarget* progress) override {
        calls.push_back(
            {.what = "ZipDeleteFile", .archive = archivePath, .mask = mask, .progress = progress});
        if (failure) throw *failure;
    }
    StoredEntries entriesOf(const std::string&) override { return {}; }
    bool isReducedCopyOf(const std::string&, const std::string&) override { return false; }
    void removeLeftovers(const std::string&) override {}

    std::vector<Call> calls;
    std::int32_t count = 3;
    std::optional<RuntimeError> failure;
};

class ArchiveAccessTest : public ::testing::Test {
  protected:
    Installation inst;
    RecordingZip zip;
    ui::StartWindow start{inst.os.start, {3, 0, 0}};
    ArchiveAccess modZip{inst.os, zip,
                         [this]() -> ProgressTarget& { return start.statusTarget(); }};
    const std::string archivePath = "C:\\ORVEN32\\update\\orvupd.zip";
};

struct MaskCase {
    const char* mask;
    std::int32_t fourth;
    bool progress;
};

TEST_F(ArchiveAccessTest, ChoosesTheFourthArgumentAndProgressFromTheMask) {
    const MaskCase kCases[] = {
        {"*.*", 1, true},          {"*orvupd.txt", 0, false}, {"*ORVUPD.TXT", 0, false},
        {"*OrvUpd.Txt", 0, false}, {"ORVTABS.MDB", 0, true},  {"MUNDAREL.MDB", 0, true},
        {"ORVEN.MDB", 0, true},    {"ORVVW.MDB", 0, true},    {"*.OCX", 0, true},
        {"*.DLL", 0, true},        {"orvupd.txt", 0, true},   {"*.*x", 0, true},
    };
    for (const MaskCase& c : kCases) {
        zip.calls.clear();
        EXPECT_EQ(modZip.ExtractEntries(archivePath, c.mask, "C:\\ORVEN32"), 3) << c.mask;
        ASSERT_EQ(zip.calls.size(), 2u);
        EXPECT_EQ(zip.calls[0].what, "SetLanguage 1");
        const Call& call = zip.calls[1];
        EXPECT_EQ(call.mask, c.mask);
        EXPECT_EQ(call.fourth, c.fourth) << c.mask;
        EXPECT_EQ(call.progress != nullptr, c.progress) << c.mask;
        EXPECT_FALSE(call.passwordGiven);
        EXPECT_EQ(call.sixth, 2);
        EXPECT_EQ(call.archive, archivePath);
    }
}

TEST_F(ArchiveAccessTest, TheVersionFileLeavesTheStatusWindowAlone) {
    modZip.ExtractEntries(archivePath, "*orvupd.txt", "C:\\ORVEN32\\ORV");
    EXPECT_FALSE(start.loaded());
    EXPECT_TRUE(inst.os.events.empty());
}

TEST_F(ArchiveAccessTest, AppendsExactlyOneSeparatorToTheTarget) {
    const std::pair<const char*, const char*> kTargets[] = {
        {"", "\\"},
        {"C:\\ORVEN32", "C:\\ORVEN32\\"},
        {"C:\\ORVEN32\\", "C:\\ORVEN32\\\\"},
        {"D:\\DATEN\\VW", "D:\\DATEN\\VW\\"},
    };
    for (const auto& [target, passed] : kTargets) {
        zip.calls.clear();
        modZip.ExtractEntries(archivePath, "*.OCX", target);
        EXPECT_EQ(zip.calls.at(1).target, passed);
    }
}

TEST_F(ArchiveAccessTest, PassesTheCountOnUnchanged) {
    for (const std::int32_t count : {-5, 0, 1, 40000}) {
        zip.count = count;
        EXPECT_EQ(modZip.ExtractEntries(archivePath, "*.*", "C:\\ORVEN32"), count);
    }
    EXPECT_TRUE(inst.os.boxes.empty());
}

TEST_F(ArchiveAccessTest, DeleteAlwaysPassesTheStatusTextAndSelectsNoLanguage) {
    modZip.DeleteEntries(archivePath, "*orvupd.txt");
    ASSERT_EQ(zip.calls.size(), 1u);
    EXPECT_EQ(zip.calls[0].what, "ZipDeleteFile");
    EXPECT_EQ(zip.calls[0].mask, "*orvupd.txt");
    EXPECT_EQ(zip.calls[0].progress, &start.statusTarget());
}

TEST_F(ArchiveAccessTest, ReportsFailuresWithTheMaskAndGoesOn) {
    zip.failure = RuntimeError(err::kFileNotFound);
    EXPECT_EQ(modZip.ExtractEntries(archivePath, "ORVEN.MDB", "C:\\DATEN"), 0);
    modZip.DeleteEntries(archivePath, "*.OCX");
    ASSERT_EQ(inst.os.boxes.size(), 2u);
    EXPECT_EQ(inst.os.boxes[0].text,
              "Fehler beim entpacken der Datei(en) ORVEN.MDB\r\nFehler = Datei nicht gefunden");
    EXPECT_EQ(inst.os.boxes[1].text,
              "Fehler beim Löschen der Datei(en) *.OCX\r\nFehler = Datei nicht gefunden");
    for (const auto& box : inst.os.boxes) {
        EXPECT_EQ(box.title, "Fehler");
        EXPECT_EQ(box.style, 16);
    }
}

} // namespace
} // namespace orv
