#pragma once
// What the zip component's tests share: sandboxes, snapshots of folder trees, the generated
// archives and a recorder of progress texts. The file system that fails on purpose is the one
// of all tests, in support/faulty_file_system.h.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

} // namespace orv::zipkit::testing
