#pragma once
// The file system of the bench's variant orvupd-nosync: the real one in everything but what
// makes data durable. It shows what the syncs of a run cost; it is never shipped.

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace orv::bench {

// Forwards every operation to the real file system, except that nothing is synced: syncFile
// and syncFolder return at once, syncVolumes says the volumes are synced, and the files and
// folders it hands out neither start write-back nor sync.
class NoSyncFileSystem : public FileSystem {
  public:
    explicit NoSyncFileSystem(FileSystem& real) : real_(real) {}

    void probeOpen(const std::string& path) override { real_.probeOpen(path); }
    void probeReplace(const std::string& path) override { real_.probeReplace(path); }
    void probeWriteFolder(const std::string& folder) override { real_.probeWriteFolder(folder); }
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
    void replaceFile(const std::string& from, const std::string& to) override {
        real_.replaceFile(from, to);
    }
    void keepAs(const std::string& from, const std::string& to) override { real_.keepAs(from, to); }
    void removeAtRestart(const std::string& path) override { real_.removeAtRestart(path); }
    bool readOnly(const std::string& path) override { return real_.readOnly(path); }
    void setReadOnly(const std::string& path, bool readOnly) override {
        real_.setReadOnly(path, readOnly);
    }
    bool fileExists(const std::string& path) override { return real_.fileExists(path); }
    bool directoryExists(const std::string& path) override { return real_.directoryExists(path); }
    void createDirectory(const std::string& path) override { real_.createDirectory(path); }
    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override;
    Volume volumeOf(const std::string& folder) override { return real_.volumeOf(folder); }
    std::vector<std::string> folderNames(const std::string& folder) override {
        return real_.folderNames(folder);
    }
    std::unique_ptr<Folder> openFolder(const std::string& folder) override;
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        return real_.openForReading(path);
    }
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;
    std::string nativePath(const std::string& path) override { return real_.nativePath(path); }

    void syncFile(const std::string& /*path*/) override {}
    void syncFolder(const std::string& /*folder*/) override {}
    bool syncVolumes(const std::vector<std::string>& /*folders*/) override { return true; }

  private:
    FileSystem& real_;
};

} // namespace orv::bench
