#include "posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/placed_file.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "posix/unique_fd.h"

namespace orv::posix {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
// What one request to the kernel copies at most: as much as the disk is given to write at once.
constexpr std::size_t kCopyStep = 8 * 1024 * 1024;
// How much of a large file is written before the disk is asked to start on it: the disk writes
// the first part while the next is being made, and a later sync finds less to wait for.
constexpr std::uint64_t kWriteBackStep = 8 * 1024 * 1024;

[[noreturn]] void Fail(int errnoValue) {
    throw ErrnoError(errnoValue);
}

std::string Join(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

// Windows runs a file as a program by its name; a file given such a name is made executable,
// so that an application updated from an archive can be started again.
bool IsProgramName(const std::string& nativePath) {
    constexpr std::string_view kSuffix = ".EXE";
    return nativePath.size() > kSuffix.size() &&
           text::UCase(std::string_view(nativePath).substr(nativePath.size() - kSuffix.size())) ==
               kSuffix;
}

bool Exists(const std::string& nativePath) {
    struct stat st {};
    return ::lstat(nativePath.c_str(), &st) == 0;
}

// The entry of the directory whose name equals name without regard to case; the first in
// byte order of the names when several do. Reads the whole directory.
std::optional<std::string> ScanWithoutCase(const std::string& directory, const std::string& name) {
    const UniqueDir dir{::opendir(directory.c_str())};
    if (!dir.valid()) return std::nullopt;
    const std::string wanted = text::UCase(name);
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view candidate = entry->d_name;
        if (candidate == "." || candidate == "..") continue;
        if (text::UCase(candidate) != wanted) continue;
        if (!best || candidate < *best) best = std::string(candidate);
    }
    return best;
}

struct FileStatus {
    bool found = false;
    bool directory = false;
};

FileStatus StatusOf(const std::string& nativePath) {
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0) return {};
    return {true, S_ISDIR(st.st_mode)};
}

UniqueFd OpenForReading(const std::string& nativePath) {
    UniqueFd fd{::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (!fd.valid()) Fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail(errno);
    // A directory is no file to read: it fails like any other path that is not a file.
    if (S_ISDIR(st.st_mode)) throw RuntimeError(err::kPathFileAccess);
    return fd;
}

// Whether another open file holds a lock on the file that keeps it from being read: an
// exclusive flock() or a write lock of fcntl(). This is how a running program on Linux
// keeps others out of a file, where Windows has its sharing modes.
bool LockedByAnother(int fd) {
    struct flock query {};
    query.l_type = F_RDLCK;
    query.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &query) == 0 && query.l_type != F_UNLCK) return true;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    return false;
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0) return got;
        if (errno != EINTR) Fail(errno);
    }
}

// Asks the disk to start writing a file's data as it grows, a step at a time. Only a hint: a
// file system that cannot do it leaves the work to the later sync.
class WriteBack {
  public:
    // Counts bytes written at the file's end; starts the step behind them once it is full.
    void grew(int fd, std::uint64_t bytes) {
        written_ += bytes;
        if (written_ - started_ >= kWriteBackStep) all(fd);
    }
    // Starts on all that is written and not started yet.
    void all(int fd) {
        if (written_ > started_) {
            ::sync_file_range(fd, static_cast<off64_t>(started_),
                              static_cast<off64_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
        }
        started_ = written_;
    }

  private:
    std::uint64_t written_ = 0;
    std::uint64_t started_ = 0;
};

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (written == 0) throw RuntimeError(err::kDeviceIo); // and no errno set
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Copies the rest of one file into another inside the kernel: the bytes do not pass through
// the updater, and a file system that can share blocks between files does so. False, with
// nothing copied, where the kernel cannot do it for these files.
bool CopyInKernel(int in, int out) {
    bool first = true;
    WriteBack writeBack;
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kCopyStep, 0);
        if (copied == 0) return true;
        if (copied > 0) {
            first = false;
            writeBack.grew(out, static_cast<std::uint64_t>(copied));
            continue;
        }
        if (errno == EINTR) continue;
        if (first && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF)) {
            return false;
        }
        Fail(errno);
    }
}

// Waits until the file's data, size and times are on the disk.
void SyncFd(int fd) {
    if (::fsync(fd) != 0) Fail(errno);
}

// File systems that live on another computer: a request to sync all of one reaches a server,
// which syncs what it likes; their files are synced one by one.
bool IsRemote(const struct statfs& volume) {
    constexpr long kCifs = 0xFF534D42;
    constexpr long kSmb2 = 0xFE534D42;
    constexpr long kFuse = 0x65735546;
    constexpr long kCeph = 0x00C36400;
    constexpr long kNinePee = 0x01021997;
    switch (static_cast<long>(volume.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
    case kCifs:
    case kSmb2:
    case kFuse:
    case kCeph:
    case kNinePee:
        return true;
    default:
        return false;
    }
}

class PosixOutputFile : public OutputFile {
  public:
    PosixOutputFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

    void write(const char* data, std::size_t size) override {
        PlacedAt("Schreiben", path_, [&] {
            if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
            WriteAll(fd_.get(), data, size);
            writeBack_.grew(fd_.get(), size);
        });
    }

    void setModificationTime(std::int64_t unixSeconds) override {
        PlacedAt("Zeitstempel setzen", path_, [&] {
            if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
            const timespec time{static_cast<std::time_t>(unixSeconds), 0};
            const timespec times[2] = {time, time};
            if (::futimens(fd_.get(), times) != 0) Fail(errno);
        });
    }

    void startWriteBack() override {
        if (fd_.valid()) writeBack_.all(fd_.get());
    }

    void sync() override {
        PlacedAt("Auf den Datenträger schreiben", path_, [&] {
            if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
            SyncFd(fd_.get());
        });
    }

    void close() override {
        if (!fd_.valid()) return;
        if (!fd_.reset()) PlacedAt("Schließen", path_, [] { Fail(errno); });
    }

  private:
    UniqueFd fd_;
    std::string path_; // as the updater named it
    WriteBack writeBack_;
};

class PosixRandomAccessFile final : public PlacedRandomAccessFile {
  public:
    PosixRandomAccessFile(UniqueFd fd, std::string path)
        : PlacedRandomAccessFile(std::move(path)), fd_(std::move(fd)) {}

  private:
    std::uint64_t bareSize() override {
        struct stat st {};
        if (::fstat(open().get(), &st) != 0) Fail(errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    void bareReadAt(std::uint64_t offset, char* data, std::size_t size) override {
        AllAt(::pread, open().get(), offset, data, size, err::kPastEndOfFile);
    }

    void bareWriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
        AllAt(::pwrite, open().get(), offset, data, size, err::kDiskFull);
    }

    // Reads or writes all of it, again where a call was interrupted or moved only a part;
    // nothingMoved: the error when a call moves no byte (the end of the file, a full disk).
    template <typename Call, typename Byte>
    static void AllAt(Call call, int fd, std::uint64_t offset, Byte* data, std::size_t size,
                      int nothingMoved) {
        while (size > 0) {
            const ssize_t n = call(fd, data, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno);
            }
            if (n == 0) throw RuntimeError(nothingMoved);
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    void bareTruncate(std::uint64_t size) override {
        if (::ftruncate(open().get(), static_cast<off_t>(size)) != 0) Fail(errno);
    }

    void bareSync() override { SyncFd(open().get()); }

    void bareClose() override {
        if (!fd_.reset()) Fail(errno);
    }

    const UniqueFd& open() const {
        if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
        return fd_;
    }

    UniqueFd fd_;
};

// Copies the file at one native path over any file at another, keeping its time and, where the
// file system allows, its permissions.
void CopyBetween(const std::string& sourcePath, const std::string& target) {
    const UniqueFd in = OpenForReading(sourcePath);
    struct stat source {};
    if (::fstat(in.get(), &source) != 0) Fail(errno);
    UniqueFd out{::open(target.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600)};
    if (!out.valid()) {
        // The target's folder is missing: the path, not the file, is not found.
        if (errno == ENOENT) throw SystemError(err::kPathNotFound, errno);
        Fail(errno);
    }
    if (!CopyInKernel(in.get(), out.get())) {
        std::vector<char> buffer(kChunk);
        WriteBack writeBack;
        for (;;) {
            const ssize_t got = ReadSome(in.get(), buffer.data(), buffer.size());
            if (got == 0) break;
            WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(got));
            writeBack.grew(out.get(), static_cast<std::uint64_t>(got));
        }
    }
    ::fchmod(out.get(), source.st_mode & 0777);
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    if (::futimens(out.get(), times) != 0) Fail(errno);
    if (!out.reset()) Fail(errno);
}

// The mode of a new file: a program's name makes it runnable.
mode_t NewFileMode(const std::string& name) {
    return IsProgramName(name) ? 0755 : 0644;
}

// Creates a file that must not exist yet, in the folder dirFd (AT_FDCWD: name is a path).
UniqueFd CreateExclusively(int dirFd, const std::string& name) {
    UniqueFd fd{::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                         NewFileMode(name))};
    if (fd.valid()) return fd;
    if (errno == EEXIST) throw SystemError(err::kFileExists, errno);
    Fail(errno);
}

// The names of a folder's entries, "." and ".." left out; the stream is read from its start.
std::vector<std::string> NamesIn(const UniqueDir& dir) {
    if (!dir.valid()) Fail(errno);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    if (errno != 0) Fail(errno);
    return names;
}

// Lets everyone who may read the file run it too. Where that is not possible the file stays
// as it is: it is still the right file, only not startable.
void MakeRunnableAt(int dirFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    const mode_t mode = st.st_mode & 07777;
    const mode_t runnable = mode | ((mode & 0444) >> 2);
    if (runnable != mode) ::fchmodat(dirFd, name.c_str(), runnable, 0);
}

// A file that its owner may not write counts as marked read-only, as Windows' attribute.
bool ReadOnlyAt(int dirFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, 0) != 0) Fail(errno);
    return (st.st_mode & S_IWUSR) == 0;
}

// Marking takes every write permission; clearing gives it back to the owner.
void SetReadOnlyAt(int dirFd, const std::string& name, bool readOnly) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, 0) != 0) Fail(errno);
    const mode_t mode = st.st_mode & 07777;
    const mode_t wanted = readOnly ? mode & ~mode_t{0222} : mode | S_IWUSR;
    if (wanted != mode && ::fchmodat(dirFd, name.c_str(), wanted, 0) != 0) Fail(errno);
}

// A folder held open: every operation names its file relative to the folder, so the kernel
// walks no path and the updater resolves none.
class PosixFolder final : public Folder {
  public:
    PosixFolder(UniqueFd fd, std::string native, std::string shown)
        : fd_(std::move(fd)), native_(std::move(native)), shown_(std::move(shown)) {}

    std::vector<std::string> names() override {
        return PlacedAt("Verzeichnis lesen", shown_, [&] {
            // A descriptor of its own, so that reading the names starts at the first each time.
            UniqueFd copy{::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
            if (!copy.valid()) Fail(errno);
            const UniqueDir dir{::fdopendir(copy.get())};
            if (dir.valid()) copy.release();
            return NamesIn(dir);
        });
    }

    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        return PlacedAt("Anlegen", pathOf(name), [&]() -> std::unique_ptr<OutputFile> {
            return std::make_unique<PosixOutputFile>(CreateExclusively(fd_.get(), name),
                                                     pathOf(name));
        });
    }

    void replace(const std::string& from, const std::string& to) override {
        PlacedAt("Ersetzen", PathPair(pathOf(from), pathOf(to)), [&] {
            if (IsProgramName(to)) MakeRunnableAt(fd_.get(), from);
            if (::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) != 0) Fail(errno);
        });
    }

    void keepAs(const std::string& from, const std::string& to) override {
        PlacedAt("Zweiten Namen anlegen", PathPair(pathOf(from), pathOf(to)), [&] {
            if (::linkat(fd_.get(), from.c_str(), fd_.get(), to.c_str(), 0) == 0) return;
            // File systems without hard links (FAT, some network shares) get a copy.
            if (errno == EPERM || errno == EXDEV || errno == EMLINK || errno == ENOTSUP) {
                CopyBetween(Join(native_, from), Join(native_, to));
                return;
            }
            Fail(errno);
        });
    }

    void remove(const std::string& name) override {
        PlacedAt("Löschen", pathOf(name), [&] {
            if (::unlinkat(fd_.get(), name.c_str(), 0) != 0) Fail(errno);
        });
    }

    // Linux removes a file that a program still runs from as soon as it is asked to.
    void removeAtRestart(const std::string& /*name*/) override {}

    bool readOnly(const std::string& name) override {
        return PlacedAt("Schreibschutz lesen", pathOf(name),
                        [&] { return ReadOnlyAt(fd_.get(), name); });
    }
    void setReadOnly(const std::string& name, bool readOnly) override {
        PlacedAt("Schreibschutz setzen", pathOf(name),
                 [&] { SetReadOnlyAt(fd_.get(), name, readOnly); });
    }

  private:
    // A file of the folder as the updater names it.
    std::string pathOf(const std::string& name) const {
        return !shown_.empty() && IsSeparator(shown_.back()) ? shown_ + name : shown_ + "\\" + name;
    }

    UniqueFd fd_;
    std::string native_;
    std::string shown_;
};

} // namespace

PosixFileSystem::PosixFileSystem(std::string driveRoot) : driveRoot_(std::move(driveRoot)) {
    if (driveRoot_.empty()) driveRoot_.assign(1, '/');
    while (driveRoot_.size() > 1 && driveRoot_.back() == '/')
        driveRoot_.pop_back();
}

std::string PosixFileSystem::resolve(const std::string& path) const {
    std::string start;
    std::size_t pos = 0;
    if (!path.empty() && path[0] == '\\') {
        start = driveRoot_;
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        start = driveRoot_;
        pos = 2;
    } else if (!path.empty() && path[0] == '/') {
        start = "/";
    }
    std::vector<std::string> components;
    while (pos < path.size()) {
        if (IsSeparator(path[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        components.push_back(path.substr(pos, end - pos));
        pos = end;
    }

    if (components.empty()) return start;

    // Most paths exist as written: one question to the kernel settles those, as every
    // component found as written is its own exact match. Otherwise the longest leading part
    // that exists as written is found from the end (a new file mostly goes into a folder that
    // exists), and each component after it is looked for as written and then, where missing,
    // without regard to case.
    std::vector<std::string> leading{start}; // leading[i]: the first i components as written
    for (const std::string& component : components) {
        leading.push_back(Join(leading.back(), component));
    }
    if (Exists(leading.back())) return leading.back();
    std::size_t known = components.size() - 1;
    while (known > 0 && !Exists(leading[known])) {
        --known;
    }
    std::string resolved = leading[known];
    bool folderExists = true; // nothing below a missing component exists
    for (std::size_t i = known; i < components.size(); ++i) {
        const std::string& component = components[i];
        std::string next = Join(resolved, component);
        // The component after the known part is missing as written: it was just asked.
        const bool missing = i == known || !Exists(next);
        if (folderExists && component != "." && component != ".." && missing) {
            const std::optional<std::string> match =
                ScanWithoutCase(resolved.empty() ? "." : resolved, component);
            if (match) {
                next = Join(resolved, *match);
            } else {
                folderExists = false;
            }
        }
        resolved = std::move(next);
    }
    return resolved;
}

void PosixFileSystem::probeOpen(const std::string& path) {
    PlacedAt("Prüfen", path, [&] {
        UniqueFd fd = OpenForReading(resolve(path));
        if (LockedByAnother(fd.get())) throw HeldError(EWOULDBLOCK);
        if (!fd.reset()) Fail(errno);
    });
}

void PosixFileSystem::probeWriteFolder(const std::string& folder) {
    PlacedAt("Schreibrecht prüfen", folder, [&] {
        if (::faccessat(AT_FDCWD, resolve(folder).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
            Fail(errno);
        }
    });
}

void PosixFileSystem::copyFile(const std::string& from, const std::string& to) {
    PlacedAt("Kopieren", PathPair(from, to), [&] { CopyBetween(resolve(from), resolve(to)); });
}

void PosixFileSystem::deleteFile(const std::string& path) {
    PlacedAt("Löschen", path, [&] {
        if (::unlink(resolve(path).c_str()) != 0) Fail(errno);
    });
}

FileTime PosixFileSystem::modificationTime(const std::string& path) {
    return PlacedAt("Zeitstempel lesen", path, [&] {
        struct stat st {};
        if (::stat(resolve(path).c_str(), &st) != 0) Fail(errno);
        return static_cast<FileTime>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    });
}

std::string PosixFileSystem::readFirstLine(const std::string& path) {
    return PlacedAt("Lesen", path, [&] { return FirstLineOf(*openForReading(path)); });
}

void PosixFileSystem::replaceFile(const std::string& from, const std::string& to) {
    PlacedAt("Ersetzen", PathPair(from, to), [&] {
        const std::string source = resolve(from);
        const std::string target = resolve(to);
        if (IsProgramName(target)) MakeRunnableAt(AT_FDCWD, source);
        if (::rename(source.c_str(), target.c_str()) != 0) Fail(errno);
    });
}

void PosixFileSystem::keepAs(const std::string& from, const std::string& to) {
    PlacedAt("Zweiten Namen anlegen", PathPair(from, to), [&] {
        if (::link(resolve(from).c_str(), resolve(to).c_str()) == 0) return;
        // File systems without hard links (FAT, some network shares) get a copy.
        if (errno == EPERM || errno == EXDEV || errno == EMLINK || errno == ENOTSUP) {
            copyFile(from, to);
            return;
        }
        Fail(errno);
    });
}

bool PosixFileSystem::readOnly(const std::string& path) {
    return PlacedAt("Schreibschutz lesen", path,
                    [&] { return ReadOnlyAt(AT_FDCWD, resolve(path)); });
}

void PosixFileSystem::setReadOnly(const std::string& path, bool readOnly) {
    PlacedAt("Schreibschutz setzen", path,
             [&] { SetReadOnlyAt(AT_FDCWD, resolve(path), readOnly); });
}

bool PosixFileSystem::fileExists(const std::string& path) {
    const FileStatus status = StatusOf(resolve(path));
    return status.found && !status.directory;
}

bool PosixFileSystem::directoryExists(const std::string& path) {
    return StatusOf(resolve(path)).directory;
}

void PosixFileSystem::createDirectory(const std::string& path) {
    PlacedAt("Verzeichnis anlegen", path, [&] {
        const std::string native = resolve(path);
        if (::mkdir(native.c_str(), 0777) == 0) return;
        const int error = errno;
        // A missing parent is a path that is not found.
        if (error == ENOENT) throw SystemError(err::kPathNotFound, error);
        if (error == EEXIST) {
            if (StatusOf(native).directory) return;
            throw SystemError(err::kPathFileAccess, error);
        }
        Fail(error);
    });
}

std::unique_ptr<OutputFile> PosixFileSystem::createFile(const std::string& path) {
    return PlacedAt("Anlegen", path, [&]() -> std::unique_ptr<OutputFile> {
        const std::string native = resolve(path);
        UniqueFd fd{::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY,
                           NewFileMode(native))};
        if (!fd.valid()) Fail(errno);
        return std::make_unique<PosixOutputFile>(std::move(fd), path);
    });
}

std::unique_ptr<OutputFile> PosixFileSystem::createNewFile(const std::string& path) {
    return PlacedAt("Anlegen", path, [&]() -> std::unique_ptr<OutputFile> {
        return std::make_unique<PosixOutputFile>(CreateExclusively(AT_FDCWD, resolve(path)), path);
    });
}

namespace {

// The folder where the file system that holds the native folder is mounted.
std::string MountPointOf(const std::string& native, dev_t device) {
    std::string here = native;
    while (here.size() > 1) {
        const std::size_t slash = here.rfind('/');
        const std::string parent =
            slash == 0 || slash == std::string::npos ? "/" : here.substr(0, slash);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
        here = parent;
    }
    return here;
}

// The volume that holds the folder, named by its drive where the updater's path has one, and
// otherwise by where it is mounted (known or found).
Volume VolumeOf(const std::string& folder, const std::string& native,
                std::map<std::uint64_t, std::string>& mountPoints) {
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) Fail(errno);
    struct statvfs space {};
    if (::statvfs(native.c_str(), &space) != 0) Fail(errno);
    std::string name{DriveOf(std::string_view(folder))};
    if (name.empty()) {
        const auto [known, isNew] = mountPoints.try_emplace(st.st_dev);
        if (isNew) known->second = MountPointOf(native, st.st_dev);
        name = known->second;
    }
    return {std::to_string(st.st_dev), name,
            static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize};
}

} // namespace

Volume PosixFileSystem::volumeOf(const std::string& folder) {
    return PlacedAt("Laufwerk abfragen", folder,
                    [&] { return VolumeOf(folder, resolve(folder), mountPoints_); });
}

std::vector<std::string> PosixFileSystem::folderNames(const std::string& folder) {
    return PlacedAt("Verzeichnis lesen", folder, [&] {
        const UniqueDir dir{::opendir(resolve(folder).c_str())};
        return NamesIn(dir);
    });
}

std::unique_ptr<Folder> PosixFileSystem::openFolder(const std::string& folder) {
    return PlacedAt("Verzeichnis öffnen", folder, [&]() -> std::unique_ptr<Folder> {
        std::string native = resolve(folder);
        UniqueFd fd{::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (!fd.valid()) {
            if (errno == ENOENT || errno == ENOTDIR) throw SystemError(err::kPathNotFound, errno);
            Fail(errno);
        }
        return std::make_unique<PosixFolder>(std::move(fd), std::move(native), folder);
    });
}

namespace {

// Opens a regular file, nothing else (a folder raises 75), and shares it as Windows would: a
// file opened for reading (a shared lock) may be read by others meanwhile, a file opened for
// update (an exclusive lock) by no one. A file that another open holds against this raises 70.
UniqueFd OpenRegularFile(const std::string& native, int flags, int lock) {
    UniqueFd fd{::open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY)};
    if (!fd.valid()) Fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail(errno);
    if (!S_ISREG(st.st_mode)) throw RuntimeError(err::kPathFileAccess);
    while (::flock(fd.get(), lock | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) throw HeldError(errno);
        // A file system without locks shares the file as it is.
        if (errno != EINTR) break;
    }
    return fd;
}

} // namespace

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& path) {
    return PlacedAt("Öffnen", path, [&]() -> std::unique_ptr<InputFile> {
        return std::make_unique<PosixRandomAccessFile>(
            OpenRegularFile(resolve(path), O_RDONLY, LOCK_SH), path);
    });
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForUpdate(const std::string& path) {
    return PlacedAt("Öffnen zum Ändern", path, [&]() -> std::unique_ptr<RandomAccessFile> {
        return std::make_unique<PosixRandomAccessFile>(
            OpenRegularFile(resolve(path), O_RDWR, LOCK_EX), path);
    });
}

std::string PosixFileSystem::nativePath(const std::string& path) {
    return resolve(path);
}

void PosixFileSystem::syncFile(const std::string& path) {
    PlacedAt("Auf den Datenträger schreiben", path, [&] {
        // Linux syncs a file through any descriptor of it, one opened for reading too.
        const UniqueFd fd{
            ::open(resolve(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW)};
        if (!fd.valid()) Fail(errno);
        SyncFd(fd.get());
    });
}

void PosixFileSystem::syncFiles(const std::vector<std::string>& paths) {
    SyncConcurrently(paths, [this](const std::string& path) { PosixFileSystem::syncFile(path); });
}

namespace {

UniqueFd OpenFolder(const std::string& native) {
    UniqueFd fd{::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd.valid()) return fd;
    if (errno == ENOENT || errno == ENOTDIR) throw SystemError(err::kPathNotFound, errno);
    Fail(errno);
}

} // namespace

void PosixFileSystem::syncFolder(const std::string& folder) {
    PlacedAt("Verzeichnis auf den Datenträger schreiben", folder, [&] {
        const UniqueFd fd = OpenFolder(resolve(folder));
        // A file system that keeps no names to sync (or none that can be changed) says so.
        if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS) Fail(errno);
    });
}

bool PosixFileSystem::syncVolumes(const std::vector<std::string>& folders) {
    std::vector<UniqueFd> volumes;
    std::set<dev_t> seen;
    std::vector<std::string> names;
    for (const std::string& folder : folders) {
        const bool remote = PlacedAt("Laufwerk abfragen", folder, [&] {
            UniqueFd fd = OpenFolder(resolve(folder));
            struct stat st {};
            struct statfs volume {};
            if (::fstat(fd.get(), &st) != 0 || ::fstatfs(fd.get(), &volume) != 0) Fail(errno);
            if (IsRemote(volume)) return true;
            if (seen.insert(st.st_dev).second) {
                volumes.push_back(std::move(fd));
                names.push_back(folder);
            }
            return false;
        });
        if (remote) return false;
    }
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        PlacedAt("Laufwerk auf den Datenträger schreiben", names[i], [&] {
            if (::syncfs(volumes[i].get()) != 0) Fail(errno);
        });
    }
    return true;
}

} // namespace orv::posix
