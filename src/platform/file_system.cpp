#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/paths.h"

namespace orv {
namespace {

constexpr std::size_t kLineChunk = 4096;
// How many files are synced at once: enough for the disk to gather them into few writes.
constexpr std::size_t kSyncThreads = 8;

// Where the name begins in a path.
std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string PartFileOf(const std::string& target) {
    const std::size_t nameStart = NameStart(target);
    return target.substr(0, nameStart) + "." + target.substr(nameStart) + ".orvtmp-copy";
}

// The folder that holds the file, ending in its separator; "." for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t nameStart = NameStart(path);
    return nameStart == 0 ? std::string(".") : path.substr(0, nameStart);
}

// A folder whose operations are the file system's own on the folder's path and the name.
class PathFolder final : public Folder {
  public:
    PathFolder(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

    std::vector<std::string> names() override { return files_.folderNames(path_); }
    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        return files_.createNewFile(pathOf(name));
    }
    void replace(const std::string& from, const std::string& to) override {
        files_.replaceFile(pathOf(from), pathOf(to));
    }
    void keepAs(const std::string& from, const std::string& to) override {
        files_.keepAs(pathOf(from), pathOf(to));
    }
    void remove(const std::string& name) override { files_.deleteFile(pathOf(name)); }
    void removeAtRestart(const std::string& name) override { files_.removeAtRestart(pathOf(name)); }
    bool readOnly(const std::string& name) override { return files_.readOnly(pathOf(name)); }
    void setReadOnly(const std::string& name, bool readOnly) override {
        files_.setReadOnly(pathOf(name), readOnly);
    }

  private:
    std::string pathOf(const std::string& name) const { return PathIn(path_, name); }

    FileSystem& files_;
    std::string path_;
};

} // namespace

void FileSystem::syncFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        syncFile(path);
    }
}

void SyncConcurrently(const std::vector<std::string>& paths,
                      const std::function<void(const std::string&)>& syncOne) {
    std::vector<std::exception_ptr> failures(paths.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            try {
                syncOne(paths[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < std::min(kSyncThreads, paths.size()); ++t) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break; // no more threads to be had: this one does the rest
            }
        }
        work();
    } // the helpers are done
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

void CopyIntoPlace(FileSystem& files, const std::string& from, const std::string& to,
                   const std::function<void()>& whileWriting) {
    const std::string part = PartFileOf(to);
    try {
        files.copyFile(from, part);
        if (whileWriting) whileWriting();
        // The copy's data reaches the disk before its name does: a power cut never leaves the
        // target empty or half written under its name.
        files.syncFile(part);
        files.replaceFile(part, to);
    } catch (...) {
        try {
            if (files.fileExists(part)) files.deleteFile(part);
        } catch (const RuntimeError&) {
            // The part stays for the next copy to take over; the copy's own error is what counts.
        }
        throw;
    }
    files.syncFolder(FolderOf(to));
}

std::string FirstLineOf(InputFile& file) {
    const std::uint64_t size = file.size();
    if (size == 0) throw RuntimeError(err::kPastEndOfFile);
    const std::size_t limit =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kFirstLineLimit));
    std::string line;
    std::array<char, kLineChunk> chunk{};
    while (line.size() < limit) {
        const std::size_t wanted = std::min(chunk.size(), limit - line.size());
        file.readAt(line.size(), chunk.data(), wanted);
        const auto end = chunk.begin() + static_cast<std::ptrdiff_t>(wanted);
        const auto lineEnd =
            std::find_if(chunk.begin(), end, [](char c) { return c == '\r' || c == '\n'; });
        line.append(chunk.begin(), lineEnd);
        if (lineEnd != end) break;
    }
    return line;
}

std::unique_ptr<Folder> FileSystem::openFolder(const std::string& folder) {
    if (!directoryExists(folder)) throw RuntimeError(err::kPathNotFound);
    return std::make_unique<PathFolder>(*this, folder);
}

} // namespace orv
