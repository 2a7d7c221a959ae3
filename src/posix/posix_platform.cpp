#include "posix/posix_platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "platform/runtime_error.h"
#include "posix/ini_file.h"
#include "posix/unique_fd.h"

namespace orv::posix {
namespace {

std::string Environment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

// The path of the running executable; empty when it cannot be read.
std::string OwnExecutable() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string Absolute(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return path;
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data()) + "/" + path;
}

// The lock file is removed while it is still locked, so a run that ends leaves nothing behind;
// a run that is killed leaves it unlocked, and the next run takes it over.
class LockFileClaim : public InstallationClaim {
  public:
    LockFileClaim(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
    ~LockFileClaim() override { ::unlink(path_.c_str()); }
    LockFileClaim(const LockFileClaim&) = delete;
    LockFileClaim& operator=(const LockFileClaim&) = delete;

  private:
    std::string path_;
    UniqueFd fd_;
};

// True when the open file is still the one that the path names: not removed by the run that
// held it before, between our open and our lock.
bool StillNamedBy(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

std::string DirectoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    std::string directory = file.substr(0, slash);
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory.empty() ? "/" : directory;
}

ProcessSettings SettingsOfProcess(int argc, char** argv) {
    ProcessSettings settings;
    std::string executable = OwnExecutable();
    if (executable.empty() && argc > 0) executable = Absolute(argv[0]);
    settings.ownDirectory = DirectoryOf(executable);
    for (int i = 1; i < argc; ++i) {
        if (i > 1) settings.commandLine += ' ';
        settings.commandLine += argv[i];
    }
    settings.driveRoot = Environment("ORVUPD_DRIVE_ROOT", "/");
    settings.windowsDirectory = Environment("WINDIR", "/etc");
    return settings;
}

PosixPlatform::PosixPlatform(ProcessSettings settings, std::istream& in, bool inputIsTerminal,
                             std::ostream& out, bool outputIsTerminal)
    : settings_(std::move(settings)), files_(settings_.driveRoot), console_(out, outputIsTerminal),
      dialogs_(console_, in, inputIsTerminal), startView_(console_), launcherView_(files_) {}

Answer PosixPlatform::showMessageBox(const std::string& text, const std::string& title, int style) {
    return dialogs_.messageBox(text, title, style);
}

ProgramVersion PosixPlatform::version() {
    return {ORV_VERSION_MAJOR, ORV_VERSION_MINOR, ORV_VERSION_PATCH};
}

std::string PosixPlatform::profileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::size_t bufferSize,
                                         const std::string& file) {
    return ReadProfileString(files_.resolve(file), section, key, defaultValue, bufferSize);
}

std::size_t PosixPlatform::windowsDirectory(std::string& buffer) {
    const std::string& directory = settings_.windowsDirectory;
    if (directory.size() >= buffer.size()) return directory.size() + 1;
    buffer.replace(0, directory.size(), directory);
    buffer[directory.size()] = '\0';
    return directory.size();
}

std::unique_ptr<InstallationClaim> PosixPlatform::claimInstallation(const std::string& installDir) {
    std::string path;
    try {
        path = files_.nativePath(installDir + "\\update\\orvupd.lock");
    } catch (const RuntimeError&) {
        return std::make_unique<InstallationClaim>(); // no folder for the lock: unclaimed
    }
    // A few tries: each is lost only to a run that ended and removed the file meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFd fd{
            ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0644)};
        if (!fd.valid()) break;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) return nullptr;
            break;
        }
        if (StillNamedBy(fd.get(), path))
            return std::make_unique<LockFileClaim>(path, std::move(fd));
    }
    return std::make_unique<InstallationClaim>();
}

void PosixPlatform::pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace orv::posix
