// The updater on Linux: the terminal stands in for its windows and message boxes.

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>

#include "posix/posix_platform.h"
#include "update/main.h"

int main(int argc, char** argv) {
    // While TZ is unset, the C library asks the system about the time zone's file at every
    // conversion of a local time, and reading an archive's directory converts the time of each
    // entry. The same file named in TZ is read once.
    ::setenv("TZ", ":/etc/localtime", 0);
    try {
        orv::posix::PosixPlatform platform(orv::posix::SettingsOfProcess(argc, argv), std::cin,
                                           orv::posix::IsTerminal(STDIN_FILENO), std::cout,
                                           orv::posix::IsTerminal(STDOUT_FILENO));
        orv::Main(platform);
    } catch (const std::exception& e) {
        // Only what the updater cannot handle itself gets here (such as memory running out).
        std::cerr << "orvupd: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
