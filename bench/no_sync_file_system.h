#pragma once
// The file system of the bench's variant orvupd-nosync: the real one in everything but what
// makes data durable. It shows what the syncs of a run cost; it is never shipped.

#include <memory>
#include <string>
#include <vector>

#include "platform/forwarding_file_system.h"

namespace orv::bench {

// Forwards every operation to the real file system, except that nothing is synced: syncFile,
// syncFiles and syncFolder return at once, syncVolumes says the volumes are synced, and the files
// and folders it hands out neither start write-back nor sync.
class NoSyncFileSystem : public ForwardingFileSystem {
  public:
    explicit NoSyncFileSystem(FileSystem& real) : ForwardingFileSystem(real) {}

    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override;
    std::unique_ptr<Folder> openFolder(const std::string& folder) override;
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;

    void syncFile(const std::string& /*path*/) override {}
    void syncFiles(const std::vector<std::string>& /*paths*/) override {}
    void syncFolder(const std::string& /*folder*/) override {}
    bool syncVolumes(const std::vector<std::string>& /*folders*/) override { return true; }
};

} // namespace orv::bench
