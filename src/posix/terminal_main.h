#pragma once
// The start of the updater on Linux: the terminal stands in for its windows and message boxes.

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <exception>
#include <iostream>

#include "posix/posix_platform.h"
#include "update/main.h"

namespace orv::posix {

// Runs the updater as the program `name` on a platform of the given kind (the shipped one,
// or one that changes part of it for the bench); the program's exit code.
template <typename Platform = PosixPlatform>
int RunOnTerminal(int argc, char** argv, const char* name) {
    // While TZ is unset, the C library asks the system about the time zone's file at every
    // conversion of a local time, and reading an archive's directory converts the time of each
    // entry. The same file named in TZ is read once.
    ::setenv("TZ", ":/etc/localtime", 0);
#if defined(__GLIBC__)
    // The C library gives each new thread (the reader of an archive, the helpers that flush
    // files several at once) an arena of its own, up to eight per core, and memory freed in one
    // is not used by another: the reader's large buffers then stay behind in several arenas.
    // Two arenas keep the run's memory to what it uses (20 MB instead of up to 29 MB).
    ::mallopt(M_ARENA_MAX, 2);
#endif
    try {
        Platform platform(SettingsOfProcess(argc, argv), std::cin, IsTerminal(STDIN_FILENO),
                          std::cout, IsTerminal(STDOUT_FILENO));
        Main(platform);
    } catch (const std::exception& e) {
        // Only what the updater cannot handle itself gets here (such as memory running out).
        std::cerr << name << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace orv::posix
