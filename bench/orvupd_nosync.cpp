// orvupd-nosync: the Linux updater as shipped, but on a file system that syncs nothing, so that
// the bench can show what making a run durable costs. Only the bench builds it.

#include "no_sync_file_system.h"
#include "posix/terminal_main.h"

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
    return orv::posix::RunOnTerminal<NoSyncPlatform>(argc, argv, "orvupd-nosync");
}
