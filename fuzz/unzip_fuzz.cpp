// The zip component on any bytes as the update archive: extraction of everything into the
// installation and removal of entries either work or raise the updater's run-time error, and
// nothing is ever written outside the installation directory.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"

namespace {

namespace fs = std::filesystem;

// One folder for the whole fuzzing process: <folder>/drive is drive C:.
const fs::path& Folder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "orvupd-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path drive = Folder() / "drive";
    fs::remove_all(Folder());
    fs::create_directories(drive / "ORVEN32" / "update");
    {
        std::ofstream out(drive / "ORVEN32" / "update" / "orvupd.zip", std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    orv::posix::PosixFileSystem files{drive.string()};
    orv::zipkit::Zipkit zipkit{files};
    const std::string archive = "C:\\ORVEN32\\update\\orvupd.zip";
    try {
        const std::int32_t count =
            zipkit.UnZipEx(archive, "C:\\ORVEN32\\", "*.*", 1, nullptr, 2, nullptr);
        if (count < 0) Fail("a negative count");
    } catch (const orv::RuntimeError& error) {
        if (error.description().empty()) Fail("a failure without a text");
    }
    try {
        zipkit.ZipDeleteFile(archive, "*.txt", nullptr);
    } catch (const orv::RuntimeError& error) {
        if (error.description().empty()) Fail("a failure without a text");
    }

    for (const auto& entry : fs::recursive_directory_iterator(Folder())) {
        const std::string relative = fs::relative(entry.path(), Folder()).generic_string();
        if (relative == "drive" || relative.rfind("drive/ORVEN32", 0) == 0) continue;
        Fail("written outside the installation: " + relative);
    }
    return 0;
}
