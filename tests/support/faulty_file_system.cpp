#include "support/faulty_file_system.h"

#include <utility>

#include "platform/runtime_error.h"

namespace orv::testing {
namespace {

// What Windows says to replacing or deleting a program while it runs: access denied.
RuntimeError RunningError() {
    return SystemError(err::kPermissionDenied, 5, Cause::Denied);
}

class FaultyOutputFile : public OutputFile {
  public:
    FaultyOutputFile(FaultyFileSystem& owner, std::unique_ptr<OutputFile> real)
        : owner_(owner), real_(std::move(real)) {}
    void write(const char* data, std::size_t size) override {
        owner_.tick(FileOp::Write);
        real_->write(data, size);
    }
    void setModificationTime(std::int64_t unixSeconds) override {
        owner_.tick(FileOp::SetTime);
        real_->setModificationTime(unixSeconds);
    }
    void startWriteBack() override { real_->startWriteBack(); }
    void sync() override {
        owner_.tick(FileOp::Sync);
        real_->sync();
    }
    void close() override {
        owner_.tick(FileOp::Close);
        real_->close();
    }

  private:
    FaultyFileSystem& owner_;
    std::unique_ptr<OutputFile> real_;
};

class FaultyInputFile : public InputFile {
  public:
    FaultyInputFile(std::unique_ptr<InputFile> real, std::uint64_t failFrom, RuntimeError error)
        : real_(std::move(real)), failFrom_(failFrom), error_(std::move(error)) {}
    std::uint64_t size() override { return real_->size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (offset + size > failFrom_) throw error_;
        real_->readAt(offset, data, size);
    }

  private:
    std::unique_ptr<InputFile> real_;
    std::uint64_t failFrom_;
    RuntimeError error_;
};

// Opening counts as a file creation, each write and each cut as a write.
class FaultyRandomAccessFile : public RandomAccessFile {
  public:
    FaultyRandomAccessFile(FaultyFileSystem& owner, std::unique_ptr<RandomAccessFile> real)
        : owner_(owner), real_(std::move(real)) {}
    std::uint64_t size() override { return real_->size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        real_->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        owner_.tick(FileOp::Write);
        real_->writeAt(offset, data, size);
    }
    void truncate(std::uint64_t size) override {
        owner_.tick(FileOp::Write);
        real_->truncate(size);
    }
    void sync() override {
        owner_.tick(FileOp::Sync);
        real_->sync();
    }
    void close() override {
        owner_.tick(FileOp::Close);
        real_->close();
    }

  private:
    FaultyFileSystem& owner_;
    std::unique_ptr<RandomAccessFile> real_;
};

} // namespace

const char* FileOpName(FileOp op) {
    constexpr std::array<const char*, kFileOpCount> kNames{
        "probe", "copy",   "delete", "time",  "first line", "replace", "exists",
        "mkdir", "create", "write",  "close", "set time",   "sync"};
    return kNames[static_cast<std::size_t>(op)];
}

void FaultyFileSystem::failAt(FileOp op, std::size_t k, int errorNumber) {
    fault_ = Fault{op, k, errorNumber, false, {}};
}

void FaultyFileSystem::throwAt(FileOp op, std::size_t k, std::function<void()> raise) {
    fault_ = Fault{op, k, 0, false, std::move(raise)};
}

void FaultyFileSystem::failFrom(FileOp op, std::size_t k, int errorNumber) {
    fault_ = Fault{op, k, errorNumber, true, {}};
}

void FaultyFileSystem::failReadsFrom(std::uint64_t offset, RuntimeError error) {
    readFault_ = ReadFault{offset, std::move(error)};
}

void FaultyFileSystem::atOperation(std::size_t k, std::function<void()> action) {
    actionAt_ = k;
    action_ = std::move(action);
}

void FaultyFileSystem::skewTime(const std::string& path, FileTime delta) {
    skews_[real_.nativePath(path)] = delta;
}

void FaultyFileSystem::hold(const std::string& path) {
    held_.insert(real_.nativePath(path));
}

void FaultyFileSystem::release(const std::string& path) {
    held_.erase(real_.nativePath(path));
}

void FaultyFileSystem::runFrom(const std::string& path) {
    running_.insert(real_.nativePath(path));
}

void FaultyFileSystem::deny(const std::string& path) {
    denied_.insert(real_.nativePath(path));
}

bool FaultyFileSystem::held(const std::string& path) {
    return held_.count(real_.nativePath(path)) > 0;
}

void FaultyFileSystem::refuse(const std::string& path) {
    if (held(path)) throw HeldError();
    if (denied_.count(real_.nativePath(path)) > 0) {
        throw SystemError(err::kPermissionDenied, 0, Cause::Denied);
    }
}

void FaultyFileSystem::tick(FileOp op) {
    if (++total_ == actionAt_ && action_) action_();
    const std::size_t n = ++counts_[static_cast<std::size_t>(op)];
    if (fault_ && fault_->op == op && (fault_->k == n || (fault_->persistent && n > fault_->k))) {
        raised_ = true;
        if (fault_->raise) fault_->raise();
        throw RuntimeError(fault_->number);
    }
}

void FaultyFileSystem::probeOpen(const std::string& path) {
    tick(FileOp::Probe);
    refuse(path);
    real_.probeOpen(path);
}

void FaultyFileSystem::probeReplace(const std::string& path) {
    refuse(path);
    real_.probeReplace(path);
}

void FaultyFileSystem::probeWriteFolder(const std::string& folder) {
    refuse(folder);
    real_.probeWriteFolder(folder);
}

void FaultyFileSystem::copyFile(const std::string& from, const std::string& to) {
    tick(FileOp::Copy);
    refuse(from);
    refuse(to);
    real_.copyFile(from, to);
}

void FaultyFileSystem::deleteFile(const std::string& path) {
    tick(FileOp::Delete);
    refuse(path);
    if (running_.count(real_.nativePath(path)) > 0) throw RunningError();
    real_.deleteFile(path);
}

FileTime FaultyFileSystem::modificationTime(const std::string& path) {
    tick(FileOp::Time);
    const auto skew = skews_.find(real_.nativePath(path));
    return real_.modificationTime(path) + (skew == skews_.end() ? 0 : skew->second);
}

std::string FaultyFileSystem::readFirstLine(const std::string& path) {
    tick(FileOp::FirstLine);
    refuse(path);
    return real_.readFirstLine(path);
}

void FaultyFileSystem::replaceFile(const std::string& from, const std::string& to) {
    tick(FileOp::Replace);
    const std::string source = real_.nativePath(from);
    const std::string target = real_.nativePath(to);
    refuse(from);
    refuse(to);
    if (running_.count(target) > 0) throw RunningError();
    real_.replaceFile(from, to);
    if (running_.erase(source) > 0) running_.insert(target);
}

void FaultyFileSystem::keepAs(const std::string& from, const std::string& to) {
    tick(FileOp::Copy);
    refuse(from);
    refuse(to);
    real_.keepAs(from, to);
    if (running_.count(real_.nativePath(from)) > 0) running_.insert(real_.nativePath(to));
}

bool FaultyFileSystem::readOnly(const std::string& path) {
    tick(FileOp::Exists);
    return real_.readOnly(path);
}

void FaultyFileSystem::setReadOnly(const std::string& path, bool readOnly) {
    tick(FileOp::SetTime);
    refuse(path);
    real_.setReadOnly(path, readOnly);
}

bool FaultyFileSystem::fileExists(const std::string& path) {
    tick(FileOp::Exists);
    return real_.fileExists(path);
}

bool FaultyFileSystem::directoryExists(const std::string& path) {
    tick(FileOp::Exists);
    return real_.directoryExists(path);
}

void FaultyFileSystem::createDirectory(const std::string& path) {
    tick(FileOp::CreateDirectory);
    real_.createDirectory(path);
}

std::unique_ptr<OutputFile> FaultyFileSystem::createFile(const std::string& path) {
    tick(FileOp::CreateFile);
    refuse(path);
    return std::make_unique<FaultyOutputFile>(*this, real_.createFile(path));
}

std::unique_ptr<OutputFile> FaultyFileSystem::createNewFile(const std::string& path) {
    tick(FileOp::CreateFile);
    refuse(path);
    return std::make_unique<FaultyOutputFile>(*this, real_.createNewFile(path));
}

Volume FaultyFileSystem::volumeOf(const std::string& folder) {
    Volume volume = real_.volumeOf(folder);
    if (freeBytes_) volume.freeBytes = *freeBytes_;
    return volume;
}

std::vector<std::string> FaultyFileSystem::folderNames(const std::string& folder) {
    tick(FileOp::Exists);
    return real_.folderNames(folder);
}

std::unique_ptr<InputFile> FaultyFileSystem::openForReading(const std::string& path) {
    std::unique_ptr<InputFile> real = real_.openForReading(path);
    if (!readFault_) return real;
    return std::make_unique<FaultyInputFile>(std::move(real), readFault_->offset,
                                             readFault_->error);
}

std::unique_ptr<RandomAccessFile> FaultyFileSystem::openForUpdate(const std::string& path) {
    tick(FileOp::CreateFile);
    refuse(path);
    return std::make_unique<FaultyRandomAccessFile>(*this, real_.openForUpdate(path));
}

std::string FaultyFileSystem::nativePath(const std::string& path) {
    return real_.nativePath(path);
}

void FaultyFileSystem::syncFile(const std::string& path) {
    tick(FileOp::Sync);
    if (held(path)) throw RuntimeError(err::kPermissionDenied);
    real_.syncFile(path);
}

void FaultyFileSystem::syncFolder(const std::string& folder) {
    tick(FileOp::Sync);
    real_.syncFolder(folder);
}

bool FaultyFileSystem::syncVolumes(const std::vector<std::string>& folders) {
    tick(FileOp::Sync);
    return real_.syncVolumes(folders);
}

} // namespace orv::testing
