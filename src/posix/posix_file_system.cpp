#include "posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime_error.h"
#include "platform/text.h"
#include "posix/unique_fd.h"

namespace orv::posix {
namespace {

// A first line longer than this is cut here: the updater only reads short version lines,
// and a file without any line break must not be read into memory whole.
constexpr std::size_t kMaxFirstLine = 64 * 1024;
constexpr std::size_t kChunk = 64 * 1024;

[[noreturn]] void Fail(int errnoValue) {
    throw RuntimeError(ErrorNumberOf(errnoValue));
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
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

// Lets everyone who may read the file run it too. Where that is not possible the file stays
// as it is: it is still the right file, only not startable.
void MakeRunnable(const std::string& nativePath) {
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const mode_t mode = st.st_mode & 07777;
    const mode_t runnable = mode | ((mode & 0444) >> 2);
    if (runnable != mode) ::chmod(nativePath.c_str(), runnable);
}

bool Exists(const std::string& nativePath) {
    struct stat st {};
    return ::lstat(nativePath.c_str(), &st) == 0;
}

// The entry of the directory whose name equals name without regard to case; the first in
// byte order of the names when several do.
std::optional<std::string> FindWithoutCase(const std::string& directory, const std::string& name) {
    const UniqueDir dir{::opendir(directory.empty() ? "." : directory.c_str())};
    if (!dir.valid()) return std::nullopt;
    const std::string wanted = text::UCase(name);
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string candidate = entry->d_name;
        if (candidate == "." || candidate == "..") continue;
        if (text::UCase(candidate) != wanted) continue;
        if (!best || candidate < *best) best = candidate;
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

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (written == 0) Fail(EIO);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// A temporary file that is removed again unless it was kept.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    void keep() { kept_ = true; }

  private:
    std::string path_;
    bool kept_ = false;
};

class PosixOutputFile : public OutputFile {
  public:
    explicit PosixOutputFile(UniqueFd fd) : fd_(std::move(fd)) {}

    void write(const char* data, std::size_t size) override {
        if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
        WriteAll(fd_.get(), data, size);
    }

    void close() override {
        if (!fd_.valid()) return;
        if (fd_.close() != 0) Fail(errno);
    }

  private:
    UniqueFd fd_;
};

class PosixRandomAccessFile : public RandomAccessFile {
  public:
    explicit PosixRandomAccessFile(UniqueFd fd) : fd_(std::move(fd)) {}

    std::uint64_t size() override {
        struct stat st {};
        if (::fstat(open().get(), &st) != 0) Fail(errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::pread(open().get(), data, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno);
            }
            if (n == 0) throw RuntimeError(err::kPastEndOfFile);
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    void writeAt(std::uint64_t offset, const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::pwrite(open().get(), data, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno);
            }
            if (n == 0) throw RuntimeError(err::kDiskFull);
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    void truncate(std::uint64_t size) override {
        if (::ftruncate(open().get(), static_cast<off_t>(size)) != 0) Fail(errno);
    }

    void close() override {
        if (!fd_.valid()) return;
        if (fd_.close() != 0) Fail(errno);
    }

  private:
    const UniqueFd& open() const {
        if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
        return fd_;
    }

    UniqueFd fd_;
};

} // namespace

int ErrorNumberOf(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
        return err::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
        return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return err::kDiskFull;
    case EIO:
        return err::kDeviceIo;
    default:
        return err::kPathFileAccess;
    }
}

PosixFileSystem::PosixFileSystem(std::string driveRoot) : driveRoot_(std::move(driveRoot)) {
    if (driveRoot_.empty()) driveRoot_ = "/";
    while (driveRoot_.size() > 1 && driveRoot_.back() == '/')
        driveRoot_.pop_back();
}

std::string PosixFileSystem::resolve(const std::string& path) const {
    std::string result;
    std::size_t pos = 0;
    if (!path.empty() && path[0] == '\\') {
        result = driveRoot_;
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        result = driveRoot_;
        pos = 2;
    } else if (!path.empty() && path[0] == '/') {
        result = "/";
    }

    bool lookUp = true; // false once a component does not exist: nothing below it does
    while (pos < path.size()) {
        if (IsSeparator(path[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::string component = path.substr(pos, end - pos);
        pos = end;

        if (lookUp && component != "." && component != ".." && !Exists(Join(result, component))) {
            if (auto match = FindWithoutCase(result, component)) {
                component = std::move(*match);
            } else {
                lookUp = false;
            }
        }
        result = Join(result, component);
    }
    return result;
}

void PosixFileSystem::probeOpen(const std::string& path) {
    UniqueFd fd = OpenForReading(resolve(path));
    if (LockedByAnother(fd.get())) throw RuntimeError(err::kPermissionDenied);
    if (fd.close() != 0) Fail(errno);
}

void PosixFileSystem::copyFile(const std::string& from, const std::string& to) {
    const UniqueFd in = OpenForReading(resolve(from));
    struct stat source {};
    if (::fstat(in.get(), &source) != 0) Fail(errno);

    const std::string target = resolve(to);
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = directory + "." + name + ".orvtmp-XXXXXX";
    UniqueFd out{::mkostemp(pattern.data(), O_CLOEXEC)};
    if (!out.valid()) {
        // The target's folder is missing: the path, not the file, is not found.
        if (errno == ENOENT) throw RuntimeError(err::kPathNotFound);
        Fail(errno);
    }
    TemporaryFile temporary{pattern};

    std::vector<char> buffer(kChunk);
    for (;;) {
        const ssize_t got = ReadSome(in.get(), buffer.data(), buffer.size());
        if (got == 0) break;
        WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(got));
    }
    // The permissions follow the source where the file system allows it.
    ::fchmod(out.get(), source.st_mode & 0777);
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    if (::futimens(out.get(), times) != 0) Fail(errno);
    if (out.close() != 0) Fail(errno);
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) Fail(errno);
    temporary.keep();
}

void PosixFileSystem::deleteFile(const std::string& path) {
    if (::unlink(resolve(path).c_str()) != 0) Fail(errno);
}

FileTime PosixFileSystem::modificationTime(const std::string& path) {
    struct stat st {};
    if (::stat(resolve(path).c_str(), &st) != 0) Fail(errno);
    return static_cast<FileTime>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::string PosixFileSystem::readFirstLine(const std::string& path) {
    const UniqueFd fd = OpenForReading(resolve(path));
    // Reading must wait for data like any ordinary read.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

    std::string line;
    bool anyByte = false;
    std::vector<char> buffer(4096);
    while (line.size() < kMaxFirstLine) {
        const ssize_t got = ReadSome(fd.get(), buffer.data(), buffer.size());
        if (got == 0) break;
        anyByte = true;
        for (ssize_t i = 0; i < got; ++i) {
            const char c = buffer[static_cast<std::size_t>(i)];
            if (c == '\r' || c == '\n') return line;
            line += c;
            if (line.size() == kMaxFirstLine) return line;
        }
    }
    if (!anyByte) throw RuntimeError(err::kPastEndOfFile);
    return line;
}

void PosixFileSystem::replaceFile(const std::string& from, const std::string& to) {
    const std::string source = resolve(from);
    const std::string target = resolve(to);
    if (IsProgramName(target)) MakeRunnable(source);
    if (::rename(source.c_str(), target.c_str()) != 0) Fail(errno);
}

void PosixFileSystem::keepAs(const std::string& from, const std::string& to) {
    if (::link(resolve(from).c_str(), resolve(to).c_str()) == 0) return;
    // File systems without hard links (FAT, some network shares) get a copy.
    if (errno == EPERM || errno == EXDEV || errno == EMLINK || errno == ENOTSUP) {
        copyFile(from, to);
        return;
    }
    Fail(errno);
}

bool PosixFileSystem::fileExists(const std::string& path) {
    const FileStatus status = StatusOf(resolve(path));
    return status.found && !status.directory;
}

bool PosixFileSystem::directoryExists(const std::string& path) {
    return StatusOf(resolve(path)).directory;
}

void PosixFileSystem::createDirectory(const std::string& path) {
    const std::string native = resolve(path);
    if (::mkdir(native.c_str(), 0777) == 0) return;
    const int error = errno;
    // A missing parent is a path that is not found.
    if (error == ENOENT) throw RuntimeError(err::kPathNotFound);
    if (error == EEXIST) {
        if (StatusOf(native).directory) return;
        throw RuntimeError(err::kPathFileAccess);
    }
    Fail(error);
}

std::unique_ptr<OutputFile> PosixFileSystem::createFile(const std::string& path) {
    const std::string native = resolve(path);
    UniqueFd fd{::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY,
                       IsProgramName(native) ? 0755 : 0644)};
    if (!fd.valid()) Fail(errno);
    return std::make_unique<PosixOutputFile>(std::move(fd));
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForUpdate(const std::string& path) {
    UniqueFd fd{::open(resolve(path).c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY)};
    if (!fd.valid()) Fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail(errno);
    if (!S_ISREG(st.st_mode)) throw RuntimeError(err::kPathFileAccess);
    return std::make_unique<PosixRandomAccessFile>(std::move(fd));
}

void PosixFileSystem::setModificationTime(const std::string& path, std::int64_t unixSeconds) {
    const timespec time{static_cast<std::time_t>(unixSeconds), 0};
    const timespec times[2] = {time, time};
    if (::utimensat(AT_FDCWD, resolve(path).c_str(), times, 0) != 0) Fail(errno);
}

std::string PosixFileSystem::nativePath(const std::string& path) {
    return resolve(path);
}

} // namespace orv::posix
