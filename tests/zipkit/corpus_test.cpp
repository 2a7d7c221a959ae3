// Every archive of the third-party corpus, extracted with "*.*": it unpacks to what libzip
// reads from it, or it is refused with a German message, and nothing lands outside the target.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"
#include "test_support.h"

namespace orv::zipkit {
namespace {

namespace fs = std::filesystem;

bool IsArchiveCandidate(const fs::path& path) {
    const std::string extension = path.extension().string();
    if (extension.empty()) return path.filename() != "LICENSE" && path.filename() != "MANIFEST";
    return extension == ".zip" || extension == ".zipx" || extension == ".jar" ||
           extension == ".xps";
}

std::vector<std::string> CorpusArchives() {
    std::vector<std::string> archives;
    std::error_code error;
    if (!fs::is_directory(ORV_CORPUS_DIR, error)) return archives;
    for (const auto& item : fs::recursive_directory_iterator(ORV_CORPUS_DIR)) {
        if (item.is_regular_file() && IsArchiveCandidate(item.path())) {
            archives.push_back(item.path().string());
        }
    }
    std::sort(archives.begin(), archives.end());
    return archives;
}

TEST(Corpus, IsThere) {
    if (CorpusArchives().empty()) GTEST_SKIP() << "no corpus at " << ORV_CORPUS_DIR;
}

class CorpusArchive : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusArchive, UnpacksFaithfullyOrIsRefused) {
    testing::Sandbox box;
    box.writeFile("outside.txt", "sentinel");
    box.makeDirectory("target");
    const auto outsideBefore = testing::Snapshot(box.root());
    posix::PosixFileSystem files;
    Zipkit zipkit{files};

    testing::RecordingProgress progress;
    try {
        const std::int32_t count =
            zipkit.UnZipEx(GetParam(), box.path("target") + "\\", "*.*", 1, nullptr, 2, &progress);
        EXPECT_TRUE(testing::IsCompleteProgress(progress.texts));
        std::int32_t fileEntries = 0;
        for (const auto& entry : testing::ReadWithLibzip(GetParam())) {
            if (entry.name.back() == '/' || entry.name.back() == '\\') continue;
            ++fileEntries;
            const std::string written = files.resolve(box.path("target") + "\\" + entry.name);
            EXPECT_EQ(testing::ReadFile(written), entry.contents) << entry.name;
        }
        EXPECT_EQ(count, fileEntries);
    } catch (const RuntimeError& e) {
        const std::string standard = ErrorText(e.number());
        EXPECT_NE(standard, ErrorText(0)) << "no text of its own: " << e.description();
        EXPECT_EQ(e.description().rfind(standard, 0), 0u) << e.description();
        for (const auto& item : fs::recursive_directory_iterator(box.path("target"))) {
            EXPECT_TRUE(item.is_directory()) << "left after a failure: " << item.path();
        }
    }
    auto outsideAfter = testing::Snapshot(box.root());
    std::erase_if(outsideAfter,
                  [](const auto& node) { return node.first.rfind("target/", 0) == 0; });
    EXPECT_EQ(outsideAfter, outsideBefore);
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusArchive, ::testing::ValuesIn(CorpusArchives()),
                         [](const auto& testInfo) {
                             std::string name =
                                 fs::relative(testInfo.param, ORV_CORPUS_DIR).string();
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name + "_" + std::to_string(testInfo.index);
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusArchive);

} // namespace
} // namespace orv::zipkit
