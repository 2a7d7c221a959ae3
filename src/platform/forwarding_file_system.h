#pragma once
// File systems, files and folders that pass every operation on to another one: the bases of
// those that change only some of what the real one does (waiting out holds, noting the
// archive's changes, leaving out syncs).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace orv {

class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    void probeOpen(const std::string& path) override { inner_.probeOpen(path); }
    void probeReplace(const std::string& path) override { inner_.probeReplace(path); }
    void probeWriteFolder(const std::string& folder) override { inner_.probeWriteFolder(folder); }
    void copyFile(const std::string& from, const std::string& to) override {
        inner_.copyFile(from, to);
    }
    void deleteFile(const std::string& path) override { inner_.deleteFile(path); }
    FileTime modificationTime(const std::string& path) override {
        return inner_.modificationTime(path);
    }
    std::string readFirstLine(const std::string& path) override {
        return inner_.readFirstLine(path);
    }
    void replaceFile(const std::string& from, const std::string& to) override {
        inner_.replaceFile(from, to);
    }
    void keepAs(const std::string& from, const std::string& to) override {
        inner_.keepAs(from, to);
    }
    void removeAtRestart(const std::string& path) override { inner_.removeAtRestart(path); }
    bool readOnly(const std::string& path) override { return inner_.readOnly(path); }
    void setReadOnly(const std::string& path, bool readOnly) override {
        inner_.setReadOnly(path, readOnly);
    }
    bool fileExists(const std::string& path) override { return inner_.fileExists(path); }
    bool directoryExists(const std::string& path) override { return inner_.directoryExists(path); }
    void createDirectory(const std::string& path) override { inner_.createDirectory(path); }
    std::unique_ptr<OutputFile> createFile(const std::string& path) override {
        return inner_.createFile(path);
    }
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override {
        return inner_.createNewFile(path);
    }
    Volume volumeOf(const std::string& folder) override { return inner_.volumeOf(folder); }
    std::vector<std::string> folderNames(const std::string& folder) override {
        return inner_.folderNames(folder);
    }
    std::unique_ptr<Folder> openFolder(const std::string& folder) override {
        return inner_.openFolder(folder);
    }
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        return inner_.openForReading(path);
    }
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override {
        return inner_.openForUpdate(path);
    }
    std::string nativePath(const std::string& path) override { return inner_.nativePath(path); }
    void syncFile(const std::string& path) override { inner_.syncFile(path); }
    // Syncs the files as the inner file system does, all at once where it can: a layer that
    // changes what syncFile does changes syncFiles with it.
    void syncFiles(const std::vector<std::string>& paths) override { inner_.syncFiles(paths); }
    void syncFolder(const std::string& folder) override { inner_.syncFolder(folder); }
    bool syncVolumes(const std::vector<std::string>& folders) override {
        return inner_.syncVolumes(folders);
    }

  protected:
    FileSystem& inner() const { return inner_; }

  private:
    FileSystem& inner_;
};

class ForwardingOutputFile : public OutputFile {
  public:
    explicit ForwardingOutputFile(std::unique_ptr<OutputFile> inner) : inner_(std::move(inner)) {}

    void write(const char* data, std::size_t size) override { inner_->write(data, size); }
    void setModificationTime(std::int64_t unixSeconds) override {
        inner_->setModificationTime(unixSeconds);
    }
    void startWriteBack() override { inner_->startWriteBack(); }
    void sync() override { inner_->sync(); }
    void close() override { inner_->close(); }

  protected:
    OutputFile& inner() const { return *inner_; }

  private:
    const std::unique_ptr<OutputFile> inner_;
};

class ForwardingRandomAccessFile : public RandomAccessFile {
  public:
    explicit ForwardingRandomAccessFile(std::unique_ptr<RandomAccessFile> inner)
        : inner_(std::move(inner)) {}

    std::uint64_t size() override { return inner_->size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        inner_->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        inner_->writeAt(offset, data, size);
    }
    void truncate(std::uint64_t size) override { inner_->truncate(size); }
    void sync() override { inner_->sync(); }
    void close() override { inner_->close(); }

  protected:
    RandomAccessFile& inner() const { return *inner_; }

  private:
    const std::unique_ptr<RandomAccessFile> inner_;
};

class ForwardingFolder : public Folder {
  public:
    explicit ForwardingFolder(std::unique_ptr<Folder> inner) : inner_(std::move(inner)) {}

    std::vector<std::string> names() override { return inner_->names(); }
    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        return inner_->createNew(name);
    }
    void replace(const std::string& from, const std::string& to) override {
        inner_->replace(from, to);
    }
    void keepAs(const std::string& from, const std::string& to) override {
        inner_->keepAs(from, to);
    }
    void remove(const std::string& name) override { inner_->remove(name); }
    void removeAtRestart(const std::string& name) override { inner_->removeAtRestart(name); }
    bool readOnly(const std::string& name) override { return inner_->readOnly(name); }
    void setReadOnly(const std::string& name, bool readOnly) override {
        inner_->setReadOnly(name, readOnly);
    }

  protected:
    Folder& inner() const { return *inner_; }

  private:
    const std::unique_ptr<Folder> inner_;
};

} // namespace orv
