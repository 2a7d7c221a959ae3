#pragma once
// What the zip component's tests share: sandboxes, snapshots of folder trees, the generated
// archives, a file system that fails on purpose, and a recorder of progress texts.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/windows.h"
#include "support/sandbox.h"

namespace orv::zipkit::testing {

// A fresh temporary folder, removed with everything in it afterwards.
using orv::testing::Sandbox;

std::string ReadFile(const std::string& path);
void CopyFile(const std::string& from, const std::string& to);
std::int64_t ModificationSeconds(const std::string& path);
void SetModificationSeconds(const std::string& path, std::int64_t seconds);

// Everything below a folder: relative path -> contents ("<dir>" for a folder) and mtime
// (of files only).
struct NodeState {
    std::string contents;
    std::int64_t modified = 0;
    bool operator==(const NodeState&) const = default;
};
using TreeSnapshot = std::map<std::string, NodeState>;
TreeSnapshot Snapshot(const std::string& root);
// The same without times, for comparing an extraction with the tree an archive was made from.
std::map<std::string, std::string> Contents(const std::string& root);
// Regular files below root whose names look like the component's temporaries.
std::vector<std::string> Leftovers(const std::string& root);

// The folder with the archives that make_archives.py wrote at build time, or nothing when
// Python was not there to write them.
std::optional<std::string> GeneratedArchives();

// An entry as libzip reads it, for comparing.
struct LibzipEntry {
    std::string name;
    std::string contents;
    std::int64_t modified = 0;
};
// Every entry of the archive with its data; fails the test when libzip cannot read it all.
std::vector<LibzipEntry> ReadWithLibzip(const std::string& nativePath);

// The names of the archive's entries as Python's zipfile lists them after testing every
// entry's checksum; nothing when Python fails on the archive.
std::optional<std::vector<std::string>> ReadWithPython(const std::string& nativePath);

// Info-ZIP's verdict on an archive: its exit code and output, or nothing when unzip is missing.
struct ToolResult {
    int exitCode = 0;
    std::string output;
};
std::optional<ToolResult> TestWithUnzip(const std::string& nativePath);

// The archive's entry names as libzip reads them, in directory order.
std::vector<std::string> NamesByLibzip(const std::string& nativePath);

// Reads the archive with libzip, Python's zipfile and Info-ZIP's unzip (where installed); each
// must find exactly these entries with intact data.
void ExpectEveryReaderFinds(const std::string& nativePath, const std::vector<std::string>& names);

class RecordingProgress : public ProgressTarget {
  public:
    void setText(const std::string& text) override { texts.push_back(text); }
    void stillWorking() override { ++quietCalls; }
    std::vector<std::string> texts;
    int quietCalls = 0; // calls that only let the window answer
};

// Progress texts as the status window needs them: decimal numbers, "0" first, rising,
// "100" last, at most 101.
::testing::AssertionResult IsCompleteProgress(const std::vector<std::string>& texts);

// A file system that passes everything on to a real one, but makes chosen operations fail as
// they do on Windows: the k-th replacement or file creation, and every move of a held file.
class FailingFileSystem : public FileSystem {
  public:
    explicit FailingFileSystem(FileSystem& real) : real_(real) {}

    void failReplaceAt(std::size_t k) { replaceFailsAt_ = k; }
    void failCreateAt(std::size_t k) { createFailsAt_ = k; }
    // Every read that reaches this offset of a file fails, as when a network share goes away.
    void failReadsFrom(std::uint64_t offset) { readsFailFrom_ = offset; }
    // The running application holds the file: it can be neither moved nor replaced.
    void hold(const std::string& path) { held_.insert(real_.nativePath(path)); }
    std::size_t replaceCount() const { return replaces_; }

    void probeOpen(const std::string& path) override { real_.probeOpen(path); }
    void copyFile(const std::string& from, const std::string& to) override {
        real_.copyFile(from, to);
    }
    void deleteFile(const std::string& path) override { real_.deleteFile(path); }
    FileTime modificationTime(const std::string& path) override {
        return real_.modificationTime(path);
    }
    std::string readFirstLine(const std::string& path) override {
        return real_.readFirstLine(path);
    }
    void replaceFile(const std::string& from, const std::string& to) override;
    // Counted with the replacements: both are the moves of a placement.
    void keepAs(const std::string& from, const std::string& to) override;
    bool fileExists(const std::string& path) override { return real_.fileExists(path); }
    bool directoryExists(const std::string& path) override { return real_.directoryExists(path); }
    void createDirectory(const std::string& path) override { real_.createDirectory(path); }
    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::string nativePath(const std::string& path) override { return real_.nativePath(path); }

  private:
    FileSystem& real_;
    std::size_t replaces_ = 0;
    std::size_t creates_ = 0;
    std::optional<std::size_t> replaceFailsAt_;
    std::optional<std::size_t> createFailsAt_;
    std::optional<std::uint64_t> readsFailFrom_;
    std::set<std::string> held_;
};

} // namespace orv::zipkit::testing
