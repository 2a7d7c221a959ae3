// orvupd-check on Linux: checks an update archive before it is shipped.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "check/report.h"
#include "posix/ini_file.h"
#include "posix/posix_file_system.h"

int main(int argc, char** argv) {
    try {
        orv::posix::PosixFileSystem files;
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        const orv::check::IniReader readIni =
            [&files](const std::string& file, const std::string& section, const std::string& key,
                     std::size_t bufferSize) {
                return orv::posix::ReadProfileString(files.nativePath(file), section, key, "",
                                                     bufferSize);
            };
        return orv::check::RunCheck(files, arguments, readIni, std::cout);
    } catch (const std::exception& e) {
        // Only what the check cannot handle itself gets here (such as memory running out).
        std::cerr << "orvupd-check: " << e.what() << '\n';
        return orv::check::kArchiveUnreadable;
    }
}
