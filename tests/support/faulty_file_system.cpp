#include "support/faulty_file_system.h"

#include <utility>

#include "platform/runtime_error.h"

namespace orv::testing {
namespace {

// What Windows says to replacing or deleting a program while it runs: access denied.
RuntimeError RunningError() {
    return SystemError(err::kPermissionDenied, 5, Cause::Denied);
}

// Syncing and closing a written file, counted and noted alike for both kinds of file.
template <typename Base> class CountedFile : public Base {
  public:
    CountedFile(FaultyFileSystem& owner, std::unique_ptr<Base> real, std::string path)
        : owner_(owner), real_(std::move(real)), path_(std::move(path)) {}
    void sync() override {
        owner_.tick(FileOp::Sync);
        real_->sync();
        owner_.changed(Change::Kind::SyncFile, path_);
    }
    void close() override {
        owner_.tick(FileOp::Close);
        real_->close();
    }

  protected:
    FaultyFileSystem& owner_;
    const std::unique_ptr<Base> real_;
    const std::string path_;
};

class FaultyOutputFile : public CountedFile<OutputFile> {
  public:
    using CountedFile::CountedFile;
    void write(const char* data, std::size_t size) override {
        owner_.tick(FileOp::Write);
        real_->write(data, size);
        owner_.changed(Change::Kind::Write, path_, "", written_, std::string(data, size));
        written_ += size;
    }
    void setModificationTime(std::int64_t unixSeconds) override {
        owner_.tick(FileOp::SetTime);
        real_->setModificationTime(unixSeconds);
    }
    void startWriteBack() override { real_->startWriteBack(); }

  private:
    std::uint64_t written_ = 0;
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
class FaultyRandomAccessFile : public CountedFile<RandomAccessFile> {
  public:
    using CountedFile::CountedFile;
    std::uint64_t size() override { return real_->size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        real_->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        owner_.tick(FileOp::Write);
        real_->writeAt(offset, data, size);
        owner_.changed(Change::Kind::Write, path_, "", offset, std::string(data, size), true);
    }
    void truncate(std::uint64_t size) override {
        owner_.tick(FileOp::Write);
        real_->truncate(size);
        owner_.changed(Change::Kind::Truncate, path_, "", size, "", true);
    }
};

// The whole of a file as it is now.
std::string ContentsOf(FileSystem& files, const std::string& path) {
    const std::unique_ptr<InputFile> file = files.openForReading(path);
    std::string contents(static_cast<std::size_t>(file->size()), '\0');
    file->readAt(0, contents.data(), contents.size());
    return contents;
}

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

void FaultyFileSystem::changed(Change::Kind kind, const std::string& path, const std::string& other,
                               std::uint64_t offset, std::string data, bool inPlace) {
    if (recording_) changes_.push_back({kind, path, other, offset, std::move(data), inPlace});
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
    const std::string native = real_.nativePath(to);
    changed(Change::Kind::Create, native);
    changed(Change::Kind::Write, native, "", 0, recording_ ? ContentsOf(real_, to) : "");
}

void FaultyFileSystem::deleteFile(const std::string& path) {
    tick(FileOp::Delete);
    refuse(path);
    if (running_.count(real_.nativePath(path)) > 0) throw RunningError();
    const std::string native = real_.nativePath(path);
    real_.deleteFile(path);
    changed(Change::Kind::Remove, native);
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
    changed(Change::Kind::Rename, source, real_.nativePath(to));
    if (running_.erase(source) > 0) running_.insert(target);
}

void FaultyFileSystem::keepAs(const std::string& from, const std::string& to) {
    tick(FileOp::Copy);
    refuse(from);
    refuse(to);
    real_.keepAs(from, to);
    changed(Change::Kind::Name, real_.nativePath(from), real_.nativePath(to));
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
    const bool existed = real_.directoryExists(path);
    real_.createDirectory(path);
    if (!existed) changed(Change::Kind::MakeFolder, real_.nativePath(path));
}

std::unique_ptr<OutputFile> FaultyFileSystem::createFile(const std::string& path) {
    tick(FileOp::CreateFile);
    refuse(path);
    std::unique_ptr<OutputFile> file = real_.createFile(path);
    const std::string native = real_.nativePath(path);
    changed(Change::Kind::Create, native);
    return std::make_unique<FaultyOutputFile>(*this, std::move(file), native);
}

std::unique_ptr<OutputFile> FaultyFileSystem::createNewFile(const std::string& path) {
    tick(FileOp::CreateFile);
    refuse(path);
    std::unique_ptr<OutputFile> file = real_.createNewFile(path);
    const std::string native = real_.nativePath(path);
    changed(Change::Kind::Create, native);
    return std::make_unique<FaultyOutputFile>(*this, std::move(file), native);
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
    return std::make_unique<FaultyRandomAccessFile>(*this, real_.openForUpdate(path),
                                                    real_.nativePath(path));
}

std::string FaultyFileSystem::nativePath(const std::string& path) {
    return real_.nativePath(path);
}

void FaultyFileSystem::syncFile(const std::string& path) {
    tick(FileOp::Sync);
    if (held(path)) throw RuntimeError(err::kPermissionDenied);
    real_.syncFile(path);
    changed(Change::Kind::SyncFile, real_.nativePath(path));
}

void FaultyFileSystem::syncFolder(const std::string& folder) {
    tick(FileOp::Sync);
    real_.syncFolder(folder);
    changed(Change::Kind::SyncFolder, real_.nativePath(folder));
}

bool FaultyFileSystem::syncVolumes(const std::vector<std::string>& folders) {
    tick(FileOp::Sync);
    const bool synced = real_.syncVolumes(folders);
    if (synced) changed(Change::Kind::SyncAll, "");
    return synced;
}

} // namespace orv::testing
