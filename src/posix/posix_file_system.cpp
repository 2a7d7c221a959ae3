#include "posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
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
// What one request to the kernel copies at most.
constexpr std::size_t kCopyStep = 64 * 1024 * 1024;

[[noreturn]] void Fail(int errnoValue) {
    throw ErrnoError(errnoValue);
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

// File systems whose every change the kernel reports to a watching program: local disks and
// memory. A network share is changed by other computers without a word, so its folders are
// read anew each time.
bool ReportsEveryChange(const std::string& directory) {
    struct statfs info {};
    if (::statfs(directory.c_str(), &info) != 0) return false;
    constexpr std::array<unsigned long, 13> kLocal = {
        0xEF53,     // ext2, ext3, ext4
        0x58465342, // xfs
        0x9123683E, // btrfs
        0x01021994, // tmpfs
        0xF2F52010, // f2fs
        0x794C7630, // overlayfs
        0x2FC12FC1, // zfs
        0x3153464A, // jfs
        0x52654973, // reiserfs
        0x4D44,     // FAT
        0x2011BAB0, // exFAT
        0x5346544E, // NTFS (ntfs-3g)
        0x7366746E, // NTFS (ntfs3)
    };
    const auto type = static_cast<unsigned long>(info.f_type);
    return std::find(kLocal.begin(), kLocal.end(), type) != kLocal.end();
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
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kCopyStep, 0);
        if (copied == 0) return true;
        if (copied > 0) {
            first = false;
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

    void setModificationTime(std::int64_t unixSeconds) override {
        if (!fd_.valid()) throw RuntimeError(err::kPathFileAccess);
        const timespec time{static_cast<std::time_t>(unixSeconds), 0};
        const timespec times[2] = {time, time};
        if (::futimens(fd_.get(), times) != 0) Fail(errno);
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

// A component of a path that was found under another spelling in a watched folder.
struct CaseMatch {
    int watch;
    std::string written;
    std::string found;
};

// The names in each folder that was searched, by their upper-case form. A folder is read once;
// afterwards the kernel's notices of every change to it (inotify), this program's own changes
// included, keep its names current, and a folder that is removed is forgotten. Where notices
// cannot be had, each search reads the folder as before.
class FolderNames {
  public:
    FolderNames() = default;
    ~FolderNames() = default;
    FolderNames(const FolderNames&) = delete;
    FolderNames& operator=(const FolderNames&) = delete;

    // The entry of the folder (st: its status) that a component named name stands for: the
    // name itself where it exists (exact), otherwise as ScanWithoutCase(). *watch is set to the
    // folder's watch, or -1 where the folder cannot be watched: then the folder is read for
    // this one search, and the caller asks the kernel about the exact name itself.
    std::optional<std::string> find(const std::string& folder, const struct stat& st,
                                    const std::string& name, int* watch) {
        *watch = -1;
        takeNotices();
        const auto known = watchOf_.find(Identity{st.st_dev, st.st_ino});
        const Folder* names =
            known != watchOf_.end() ? &folders_.at(known->second) : read(folder, st);
        if (names == nullptr) return ScanWithoutCase(folder, name);
        *watch = watchOf_.at(names->identity);
        if (names->has(name)) return name;
        return names->first(name);
    }

    // Whether the folder's names are known (so that exact names need no question either).
    bool watches(const struct stat& st) {
        takeNotices();
        return watchOf_.count(Identity{st.st_dev, st.st_ino}) > 0;
    }

    // A folder path whose components were found without regard to case: the path it was
    // resolved to, while every such component would still be found the same way and the path
    // still names the same folder (st: its status then). Remembered only for watched folders.
    std::optional<std::string> resolvedFolder(const std::string& written, struct stat* st) {
        const auto known = resolved_.find(written);
        if (known == resolved_.end()) return std::nullopt;
        const ResolvedFolder& folder = known->second;
        if (::stat(folder.native.c_str(), st) == 0 && S_ISDIR(st->st_mode) &&
            st->st_dev == folder.identity.device && st->st_ino == folder.identity.inode) {
            takeNotices();
            const bool holds = std::all_of(
                folder.matches.begin(), folder.matches.end(), [this](const CaseMatch& match) {
                    const auto names = folders_.find(match.watch);
                    return names != folders_.end() && !names->second.has(match.written) &&
                           names->second.first(match.written) == match.found;
                });
            if (holds) return folder.native;
        }
        resolved_.erase(known);
        return std::nullopt;
    }

    void rememberFolder(const std::string& written, const std::string& native,
                        const struct stat& st, std::vector<CaseMatch> matches) {
        if (resolved_.size() >= kMostResolvedFolders) resolved_.clear();
        resolved_[written] =
            ResolvedFolder{native, Identity{st.st_dev, st.st_ino}, std::move(matches)};
    }

    // Starts the resolution of another path: notices that arrived meanwhile are taken.
    void beginResolution() { drained_ = false; }

  private:
    struct Identity {
        dev_t device;
        ino_t inode;
        bool operator<(const Identity& other) const {
            return device != other.device ? device < other.device : inode < other.inode;
        }
    };
    struct Folder {
        Identity identity;
        // Upper-case name -> the names that have it, in byte order.
        std::unordered_map<std::string, std::set<std::string>> byKey;

        void add(const std::string& name) { byKey[text::UCase(name)].insert(name); }
        bool has(const std::string& name) const {
            const auto it = byKey.find(text::UCase(name));
            return it != byKey.end() && it->second.count(name) > 0;
        }
        // The first name in byte order that equals name without regard to case.
        std::optional<std::string> first(const std::string& name) const {
            const auto it = byKey.find(text::UCase(name));
            if (it == byKey.end()) return std::nullopt;
            return *it->second.begin();
        }
        void remove(const std::string& name) {
            const auto it = byKey.find(text::UCase(name));
            if (it == byKey.end()) return;
            it->second.erase(name);
            if (it->second.empty()) byKey.erase(it);
        }
    };

    struct ResolvedFolder {
        std::string native;
        Identity identity;
        std::vector<CaseMatch> matches;
    };

    // More distinct folder paths than an update touches: then the memory starts afresh.
    static constexpr std::size_t kMostResolvedFolders = 4096;
    static constexpr std::uint32_t kChanges =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;

    // Reads the folder under watch; nullptr where it cannot be watched or read, or where the
    // path no longer names the folder that was asked about.
    const Folder* read(const std::string& folder, const struct stat& st) {
        if (!notices_.valid()) {
            if (unavailable_) return nullptr;
            notices_ = UniqueFd{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
            if (!notices_.valid()) {
                unavailable_ = true;
                return nullptr;
            }
        }
        if (!ReportsEveryChange(folder)) return nullptr;
        // Watched before it is read: a change while reading arrives as a notice afterwards.
        const int watch = ::inotify_add_watch(notices_.get(), folder.c_str(), kChanges);
        if (watch < 0) return nullptr;
        const UniqueDir dir{::opendir(folder.c_str())};
        struct stat opened {};
        if (!dir.valid() || ::fstat(::dirfd(dir.get()), &opened) != 0 ||
            opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            forget(watch);
            return nullptr;
        }
        Folder names{Identity{st.st_dev, st.st_ino}, {}};
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.add(std::string(name));
        }
        watchOf_[names.identity] = watch;
        return &(folders_[watch] = std::move(names));
    }

    // Applies every notice that has arrived, once per resolution: the questions within one are
    // answered from the same state.
    void takeNotices() {
        if (!notices_.valid() || drained_) return;
        drained_ = true;
        alignas(inotify_event) std::array<char, 64 * 1024> buffer;
        for (;;) {
            const ssize_t got = ::read(notices_.get(), buffer.data(), buffer.size());
            if (got <= 0) {
                if (got < 0 && errno == EINTR) continue;
                return; // nothing more (EAGAIN), or the notices failed: nothing to apply
            }
            for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
                inotify_event event{};
                std::memcpy(&event, buffer.data() + at, sizeof event);
                const char* name = buffer.data() + at + sizeof event;
                apply(event, event.len > 0 ? std::string(name) : std::string());
                at += sizeof event + event.len;
            }
        }
    }

    void apply(const inotify_event& event, const std::string& name) {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            // Notices were lost: nothing remembered can be trusted.
            forgetAll();
            return;
        }
        const auto folder = folders_.find(event.wd);
        if (folder == folders_.end()) return;
        if ((event.mask & (IN_IGNORED | IN_DELETE_SELF)) != 0) {
            forget(event.wd);
        } else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
            folder->second.add(name);
        } else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
            folder->second.remove(name);
        }
    }

    void forget(int watch) {
        ::inotify_rm_watch(notices_.get(), watch);
        const auto folder = folders_.find(watch);
        if (folder == folders_.end()) return;
        watchOf_.erase(folder->second.identity);
        folders_.erase(folder);
    }

    void forgetAll() {
        while (!folders_.empty()) {
            forget(folders_.begin()->first);
        }
    }

    UniqueFd notices_;
    bool unavailable_ = false;        // the kernel gives no notices to this program
    bool drained_ = false;            // the notices were taken in this resolution
    std::map<int, Folder> folders_;   // by watch
    std::map<Identity, int> watchOf_; // the watch of each folder
    std::unordered_map<std::string, ResolvedFolder> resolved_; // by the folder path as written
};

PosixFileSystem::PosixFileSystem(std::string driveRoot)
    : driveRoot_(std::move(driveRoot)), folderNames_(std::make_unique<FolderNames>()) {
    if (driveRoot_.empty()) driveRoot_.assign(1, '/');
    while (driveRoot_.size() > 1 && driveRoot_.back() == '/')
        driveRoot_.pop_back();
}

PosixFileSystem::~PosixFileSystem() = default;

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
    folderNames_->beginResolution();
    const std::string last = components.back();
    components.pop_back();

    // A folder resolved before under another spelling: it and the watch of its names answer
    // without a walk. Otherwise most paths exist as written: one question to the kernel settles
    // those, as every component found as written is its own exact match.
    std::string folderWritten = start;
    for (const std::string& component : components) {
        folderWritten = Join(folderWritten, component);
    }
    struct stat st {};
    std::string folder;
    bool folderExists = true;
    if (const auto known = folderNames_->resolvedFolder(folderWritten, &st)) {
        folder = *known;
    } else if (const std::string written = Join(folderWritten, last); Exists(written)) {
        return written;
    } else if (::stat(folderWritten.empty() ? "." : folderWritten.c_str(), &st) == 0 &&
               S_ISDIR(st.st_mode)) {
        folder = folderWritten;
    } else {
        folder = start;
        std::vector<CaseMatch> matches;
        bool watched = true;
        for (const std::string& component : components) {
            std::string found = component;
            if (folderExists && component != "." && component != ".." &&
                !Exists(Join(folder, component))) {
                int watch = -1;
                std::optional<std::string> match;
                if (::stat(folder.empty() ? "." : folder.c_str(), &st) == 0 &&
                    S_ISDIR(st.st_mode)) {
                    match =
                        folderNames_->find(folder.empty() ? "." : folder, st, component, &watch);
                }
                if (match) {
                    found = std::move(*match);
                    matches.push_back(CaseMatch{watch, component, found});
                    watched = watched && watch >= 0;
                } else {
                    folderExists = false; // nothing below a missing component exists
                }
            }
            folder = Join(folder, found);
        }
        if (folderExists) {
            folderExists =
                ::stat(folder.empty() ? "." : folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (folderExists && watched && !matches.empty()) {
            folderNames_->rememberFolder(folderWritten, folder, st, std::move(matches));
        }
    }

    // Then the last component in that folder.
    const std::string inFolder = Join(folder, last);
    if (!folderExists || last == "." || last == "..") return inFolder;
    if (folder != folderWritten && !folderNames_->watches(st) && Exists(inFolder)) return inFolder;
    int watch = -1;
    const std::optional<std::string> match =
        folderNames_->find(folder.empty() ? "." : folder, st, last, &watch);
    return match ? Join(folder, *match) : inFolder;
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
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // One fixed name beside the target: a copy that was killed halfway leaves its part there,
    // and the next copy to the same target takes it over instead of leaving it for ever.
    const std::string partPath = directory + "." + name + ".orvtmp-copy";
    UniqueFd out{::open(partPath.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600)};
    if (!out.valid()) {
        // The target's folder is missing: the path, not the file, is not found.
        if (errno == ENOENT) throw SystemError(err::kPathNotFound, errno);
        Fail(errno);
    }
    TemporaryFile temporary{partPath};

    if (!CopyInKernel(in.get(), out.get())) {
        std::vector<char> buffer(kChunk);
        for (;;) {
            const ssize_t got = ReadSome(in.get(), buffer.data(), buffer.size());
            if (got == 0) break;
            WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(got));
        }
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
    if (error == ENOENT) throw SystemError(err::kPathNotFound, error);
    if (error == EEXIST) {
        if (StatusOf(native).directory) return;
        throw SystemError(err::kPathFileAccess, error);
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

namespace {

// Opens a regular file, nothing else (a folder raises 75).
UniqueFd OpenRegularFile(const std::string& native, int flags) {
    UniqueFd fd{::open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY)};
    if (!fd.valid()) Fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) Fail(errno);
    if (!S_ISREG(st.st_mode)) throw RuntimeError(err::kPathFileAccess);
    return fd;
}

} // namespace

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& path) {
    return std::make_unique<PosixRandomAccessFile>(OpenRegularFile(resolve(path), O_RDONLY));
}

std::unique_ptr<RandomAccessFile> PosixFileSystem::openForUpdate(const std::string& path) {
    return std::make_unique<PosixRandomAccessFile>(OpenRegularFile(resolve(path), O_RDWR));
}

std::string PosixFileSystem::nativePath(const std::string& path) {
    return resolve(path);
}

} // namespace orv::posix
