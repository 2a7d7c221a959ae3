#include "test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace orv::zipkit::testing {
namespace {

// Quotes a word for the shell.
std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a shell command and collects its output (standard error too).
ToolResult Run(const std::string& command) {
    ToolResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveProgram(const std::string& name) {
    return Run("command -v " + Quoted(name)).exitCode == 0;
}

} // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CopyFile(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::int64_t ModificationSeconds(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

void SetModificationSeconds(const std::string& path, std::int64_t seconds) {
    utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    ::utime(path.c_str(), &times);
}

TreeSnapshot Snapshot(const std::string& root) {
    TreeSnapshot snapshot;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(item.path(), root).generic_string();
        const std::string contents = item.is_directory() ? "<dir>" : ReadFile(item.path());
        // A folder's own time changes with every file made and removed in it; what matters
        // is what it holds.
        snapshot[relative] = {contents, item.is_directory() ? 0 : ModificationSeconds(item.path())};
    }
    return snapshot;
}

std::map<std::string, std::string> Contents(const std::string& root) {
    std::map<std::string, std::string> contents;
    for (const auto& [path, state] : Snapshot(root)) {
        contents[path] = state.contents;
    }
    return contents;
}

std::vector<std::string> Leftovers(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string name = item.path().filename().string();
        if (name.find(".orvupd-") != std::string::npos) found.push_back(item.path());
    }
    return found;
}

std::optional<std::string> GeneratedArchives() {
    if (!fs::exists(std::string(ORV_ZIPKIT_ARCHIVES) + "/complete")) return std::nullopt;
    return ORV_ZIPKIT_ARCHIVES;
}

std::vector<LibzipEntry> ReadWithLibzip(const std::string& nativePath) {
    std::vector<LibzipEntry> entries;
    int error = 0;
    zip_t* archive = zip_open(nativePath.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) {
        ADD_FAILURE() << "libzip cannot open " << nativePath << ": error " << error;
        return entries;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_index(archive, index, 0, &stat);
        LibzipEntry entry{zip_get_name(archive, index, ZIP_FL_ENC_GUESS), "",
                          static_cast<std::int64_t>(stat.mtime)};
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (file == nullptr) {
            ADD_FAILURE() << "libzip cannot open entry " << entry.name;
            continue;
        }
        std::array<char, 65536> buffer{};
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer.data(), buffer.size())) > 0) {
            entry.contents.append(buffer.data(), static_cast<std::size_t>(n));
        }
        const int closed = zip_fclose(file);
        if (n < 0 || closed != 0) ADD_FAILURE() << "libzip cannot read entry " << entry.name;
        entries.push_back(entry);
    }
    zip_discard(archive);
    return entries;
}

std::optional<std::vector<std::string>> ReadWithPython(const std::string& nativePath) {
    const ToolResult result = Run("python3 -c " +
                                  Quoted("import sys, zipfile\n"
                                         "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                         "    bad = z.testzip()\n"
                                         "    if bad: sys.exit('bad entry ' + bad)\n"
                                         "    print('\\n'.join(z.namelist()))\n") +
                                  " " + Quoted(nativePath));
    if (result.exitCode != 0) {
        ADD_FAILURE() << "zipfile cannot read " << nativePath << ":\n" << result.output;
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::size_t begin = 0;
    while (begin < result.output.size()) {
        const std::size_t end = result.output.find('\n', begin);
        const std::string line = result.output.substr(begin, end - begin);
        if (!line.empty()) names.push_back(line);
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return names;
}

std::vector<std::string> NamesByLibzip(const std::string& nativePath) {
    std::vector<std::string> names;
    for (const LibzipEntry& entry : ReadWithLibzip(nativePath)) {
        names.push_back(entry.name);
    }
    return names;
}

void ExpectEveryReaderFinds(const std::string& nativePath, const std::vector<std::string>& names) {
    EXPECT_EQ(NamesByLibzip(nativePath), names);
    if (const auto python = ReadWithPython(nativePath)) {
        EXPECT_EQ(*python, names);
    }
    if (const auto unzip = TestWithUnzip(nativePath)) {
        if (names.empty()) {
            EXPECT_NE(unzip->output.find("zipfile is empty"), std::string::npos) << unzip->output;
        } else {
            EXPECT_EQ(unzip->exitCode, 0) << unzip->output;
        }
    } else {
        std::cout << "unzip is missing: Info-ZIP's check skipped\n";
    }
}

std::optional<ToolResult> TestWithUnzip(const std::string& nativePath) {
    if (!HaveProgram("unzip")) return std::nullopt;
    return Run("unzip -t " + Quoted(nativePath));
}

::testing::AssertionResult IsCompleteProgress(const std::vector<std::string>& texts) {
    if (texts.empty()) return ::testing::AssertionFailure() << "no progress at all";
    if (texts.size() > 101) return ::testing::AssertionFailure() << texts.size() << " texts";
    if (texts.front() != "0") return ::testing::AssertionFailure() << "starts " << texts.front();
    if (texts.back() != "100") return ::testing::AssertionFailure() << "ends " << texts.back();
    int previous = -1;
    for (const std::string& text : texts) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
            (text.size() > 1 && text[0] == '0')) {
            return ::testing::AssertionFailure() << "not a plain number: \"" << text << "\"";
        }
        const int value = std::stoi(text);
        if (value <= previous || value > 100) {
            return ::testing::AssertionFailure() << value << " after " << previous;
        }
        previous = value;
    }
    return ::testing::AssertionSuccess();
}

} // namespace orv::zipkit::testing
