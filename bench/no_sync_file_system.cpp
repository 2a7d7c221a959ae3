#include "no_sync_file_system.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace orv::bench {
namespace {

class NoSyncOutputFile : public OutputFile {
  public:
    explicit NoSyncOutputFile(std::unique_ptr<OutputFile> real) : real_(std::move(real)) {}

    void write(const char* data, std::size_t size) override { real_->write(data, size); }
    void setModificationTime(std::int64_t unixSeconds) override {
        real_->setModificationTime(unixSeconds);
    }
    void startWriteBack() override {}
    void sync() override {}
    void close() override { real_->close(); }

  private:
    const std::unique_ptr<OutputFile> real_;
};

class NoSyncRandomAccessFile : public RandomAccessFile {
  public:
    explicit NoSyncRandomAccessFile(std::unique_ptr<RandomAccessFile> real)
        : real_(std::move(real)) {}

    std::uint64_t size() override { return real_->size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        real_->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        real_->writeAt(offset, data, size);
    }
    void truncate(std::uint64_t size) override { real_->truncate(size); }
    void sync() override {}
    void close() override { real_->close(); }

  private:
    const std::unique_ptr<RandomAccessFile> real_;
};

// The real folder, held open as the real file system holds it; only its new files sync nothing.
class NoSyncFolder : public Folder {
  public:
    explicit NoSyncFolder(std::unique_ptr<Folder> real) : real_(std::move(real)) {}

    std::vector<std::string> names() override { return real_->names(); }
    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        return std::make_unique<NoSyncOutputFile>(real_->createNew(name));
    }
    void replace(const std::string& from, const std::string& to) override {
        real_->replace(from, to);
    }
    void keepAs(const std::string& from, const std::string& to) override {
        real_->keepAs(from, to);
    }
    void remove(const std::string& name) override { real_->remove(name); }
    void removeAtRestart(const std::string& name) override { real_->removeAtRestart(name); }
    bool readOnly(const std::string& name) override { return real_->readOnly(name); }
    void setReadOnly(const std::string& name, bool readOnly) override {
        real_->setReadOnly(name, readOnly);
    }

  private:
    const std::unique_ptr<Folder> real_;
};

} // namespace

std::unique_ptr<OutputFile> NoSyncFileSystem::createFile(const std::string& path) {
    return std::make_unique<NoSyncOutputFile>(real_.createFile(path));
}

std::unique_ptr<OutputFile> NoSyncFileSystem::createNewFile(const std::string& path) {
    return std::make_unique<NoSyncOutputFile>(real_.createNewFile(path));
}

std::unique_ptr<Folder> NoSyncFileSystem::openFolder(const std::string& folder) {
    return std::make_unique<NoSyncFolder>(real_.openFolder(folder));
}

std::unique_ptr<RandomAccessFile> NoSyncFileSystem::openForUpdate(const std::string& path) {
    return std::make_unique<NoSyncRandomAccessFile>(real_.openForUpdate(path));
}

} // namespace orv::bench
