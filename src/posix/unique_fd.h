#pragma once
// Owners of POSIX file descriptors and directory streams.

#include <dirent.h>
#include <unistd.h>

#include "platform/unique_handle.h"

namespace orv::posix {

struct FileDescriptor {
    using Handle = int;
    static int none() { return -1; }
    static bool empty(int fd) { return fd < 0; }
    static bool release(int fd) { return ::close(fd) == 0; }
};
using UniqueFd = UniqueHandle<FileDescriptor>;

using UniqueDir = UniqueHandle<FreedPointer<DIR, ::closedir>>;

} // namespace orv::posix
