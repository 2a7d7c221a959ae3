// Times the zip component's calls on a real archive and counts their progress texts.
//   zipkit_bench delete  ARCHIVE MASK...   removes each mask in turn (in place)
//   zipkit_bench extract ARCHIVE FOLDER    extracts every entry with the component
//   zipkit_bench libzip  ARCHIVE FOLDER    extracts every entry with plain libzip calls
// Prints one line per call: what, milliseconds, number of progress texts.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <zip.h>

#include "archive/zipkit/zipkit.h"
#include "platform/runtime_error.h"
#include "posix/posix_file_system.h"

namespace {

class CountingProgress : public orv::ProgressTarget {
  public:
    void setText(const std::string& /*text*/) override { ++changes; }
    int changes = 0;
};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string Name(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

int Delete(const std::string& archive, const std::vector<std::string>& masks) {
    orv::posix::PosixFileSystem files{Folder(archive)};
    orv::zipkit::Zipkit zipkit{files};
    std::string path = "\\";
    path += Name(archive);
    for (const std::string& mask : masks) {
        CountingProgress progress;
        const auto start = Clock::now();
        zipkit.ZipDeleteFile(path, mask, &progress);
        std::printf("delete %s %.3f %d\n", mask.c_str(), MillisecondsSince(start),
                    progress.changes);
    }
    return 0;
}

int Extract(const std::string& archive, const std::string& folder) {
    orv::posix::PosixFileSystem files{"/"};
    orv::zipkit::Zipkit zipkit{files};
    CountingProgress progress;
    const auto start = Clock::now();
    std::string target = folder;
    for (char& c : target)
        if (c == '/') c = '\\';
    const int count = zipkit.UnZipEx(archive, target + "\\", "*.*", 1, nullptr, 0, &progress);
    std::printf("extract %d %.3f %d\n", count, MillisecondsSince(start), progress.changes);
    return 0;
}

// What a plain libzip program does: read each entry and write it out, nothing more.
int ExtractWithLibzip(const std::string& archivePath, const std::string& folder) {
    const auto start = Clock::now();
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return 1;
    std::vector<char> buffer(64 * 1024);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        std::string path = folder + "/" + name;
        for (std::size_t slash = path.find('/', folder.size() + 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            ::mkdir(path.substr(0, slash).c_str(), 0777);
        }
        if (name.back() == '/') continue;
        zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (entry == nullptr || out == nullptr) return 1;
        zip_int64_t n = 0;
        while ((n = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
            std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out);
        }
        std::fclose(out);
        zip_fclose(entry);
    }
    zip_discard(archive);
    std::printf("libzip %lld %.3f 0\n", static_cast<long long>(count), MillisecondsSince(start));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() >= 2 && args[0] == "delete") {
            return Delete(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
        }
        if (args.size() == 3 && args[0] == "extract") return Extract(args[1], args[2]);
        if (args.size() == 3 && args[0] == "libzip") return ExtractWithLibzip(args[1], args[2]);
    } catch (const orv::RuntimeError& error) {
        std::fprintf(stderr, "Fehler %d: %s\n", error.number(), error.description().c_str());
        return 1;
    }
    std::fprintf(stderr, "usage: zipkit_bench delete|extract|libzip ARCHIVE ...\n");
    return 2;
}
