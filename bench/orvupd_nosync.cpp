// orvupd-nosync: the Linux updater as shipped, but on a file system that syncs nothing, so that
// the bench can show what making a run durable costs. Only the bench builds it.

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <utility>

#include "no_sync_file_system.h"
#include "posix/posix_platform.h"
#include "update/main.h"

namespace {

class NoSyncPlatform : public orv::posix::PosixPlatform {
  public:
    using PosixPlatform::PosixPlatform;

    orv::FileSystem& files() override { return noSync_; }

  private:
    orv::bench::NoSyncFileSystem noSync_{PosixPlatform::files()};
};

} // namespace

int main(int argc, char** argv) {
    // As the shipped program: the time zone's file is read once, not at every entry's time.
    ::setenv("TZ", ":/etc/localtime", 0);
    try {
        NoSyncPlatform platform(orv::posix::SettingsOfProcess(argc, argv), std::cin,
                                orv::posix::IsTerminal(STDIN_FILENO), std::cout,
                                orv::posix::IsTerminal(STDOUT_FILENO));
        orv::Main(platform);
    } catch (const std::exception& e) {
        std::cerr << "orvupd-nosync: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
