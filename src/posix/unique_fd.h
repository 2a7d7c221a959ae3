#pragma once
// Owners of POSIX file descriptors and directory streams.

#include <dirent.h>
#include <unistd.h>

#include <utility>

namespace orv::posix {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives up ownership without closing.
    int release() { return std::exchange(fd_, -1); }
    // Closes now and returns close()'s result (0 when there was nothing to close).
    int close() { return fd_ >= 0 ? ::close(std::exchange(fd_, -1)) : 0; }
    void reset() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_ = -1;
};

class UniqueDir {
  public:
    explicit UniqueDir(DIR* dir) : dir_(dir) {}
    ~UniqueDir() {
        if (dir_ != nullptr) ::closedir(dir_);
    }
    UniqueDir(const UniqueDir&) = delete;
    UniqueDir& operator=(const UniqueDir&) = delete;

    DIR* get() const { return dir_; }
    bool valid() const { return dir_ != nullptr; }

  private:
    DIR* dir_;
};

} // namespace orv::posix
