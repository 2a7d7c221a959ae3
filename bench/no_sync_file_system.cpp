#include "no_sync_file_system.h"

#include <utility>

namespace orv::bench {
namespace {

class NoSyncOutputFile : public ForwardingOutputFile {
  public:
    using ForwardingOutputFile::ForwardingOutputFile;

    void startWriteBack() override {}
    void sync() override {}
};

class NoSyncRandomAccessFile : public ForwardingRandomAccessFile {
  public:
    using ForwardingRandomAccessFile::ForwardingRandomAccessFile;

    void sync() override {}
};

// The real folder, held open as the real file system holds it; only its new files sync nothing.
class NoSyncFolder : public ForwardingFolder {
  public:
    using ForwardingFolder::ForwardingFolder;

    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        return std::make_unique<NoSyncOutputFile>(inner().createNew(name));
    }
};

} // namespace

std::unique_ptr<OutputFile> NoSyncFileSystem::createFile(const std::string& path) {
    return std::make_unique<NoSyncOutputFile>(inner().createFile(path));
}

std::unique_ptr<OutputFile> NoSyncFileSystem::createNewFile(const std::string& path) {
    return std::make_unique<NoSyncOutputFile>(inner().createNewFile(path));
}

std::unique_ptr<Folder> NoSyncFileSystem::openFolder(const std::string& folder) {
    return std::make_unique<NoSyncFolder>(inner().openFolder(folder));
}

std::unique_ptr<RandomAccessFile> NoSyncFileSystem::openForUpdate(const std::string& path) {
    return std::make_unique<NoSyncRandomAccessFile>(inner().openForUpdate(path));
}

} // namespace orv::bench
