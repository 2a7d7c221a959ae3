#pragma once
// What every file system of the updater must do alike, as platform/file_system.h promises it.
// Each platform's tests run these cases against their own file system, working in a fresh
// temporary folder per case, so that what one platform's tests show holds for the other too.

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"

namespace orv::contract {

// A file system for one case and the fresh temporary folder it works in; the folder goes
// with it.
class ScratchFileSystem {
  public:
    virtual ~ScratchFileSystem() = default;
    virtual FileSystem& files() = 0;
    // The folder, as the updater writes paths: "\" separators, none at the end.
    virtual const std::string& folder() const = 0;
};

// A case that one platform's file system does not pass, and why.
struct KnownBreak {
    std::string test; // the case's name in the suite
    std::string reason;
};

struct ContractPlatform {
    std::string name;
    std::function<std::unique_ptr<ScratchFileSystem>()> make;
    std::vector<KnownBreak> breaks;
};

void PrintTo(const ContractPlatform& platform, std::ostream* out);
// Names each instantiation after its platform.
std::string PlatformName(const ::testing::TestParamInfo<ContractPlatform>& info);

// The number of the run-time error that the call raises, 0 when it raises none.
int ErrorOf(const std::function<void()>& call);

class FileSystemContract : public ::testing::TestWithParam<ContractPlatform> {
  protected:
    void SetUp() override;
    // A fresh folder and file system, for the next row of a table.
    void startAfresh();

    FileSystem& files() { return scratch_->files(); }
    const std::string& folder() const { return scratch_->folder(); }
    // A path below the case's folder; relative uses "\" too.
    std::string path(const std::string& relative) const;

    // A file below the folder (which must exist) with these bytes and, unless 0, this time
    // (seconds since 1970).
    void write(const std::string& relative, const std::string& bytes, std::int64_t unixSeconds = 0);
    // The whole file below the folder.
    std::string read(const std::string& relative);
    FileTime timeOf(const std::string& relative);
    // The folder's entries (below the case's folder), sorted.
    std::vector<std::string> namesIn(const std::string& relative = "");

  private:
    std::unique_ptr<ScratchFileSystem> scratch_;
};

} // namespace orv::contract
