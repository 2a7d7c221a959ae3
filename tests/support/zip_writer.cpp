#include "support/zip_writer.h"

#include <memory>
#include <stdexcept>

#include <zip.h>

namespace orv::testing {
namespace {

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

} // namespace

void WriteZip(const std::string& nativePath, const std::vector<ZipEntry>& entries) {
    int error = 0;
    ZipArchive archive{zip_open(nativePath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error)};
    if (!archive) throw std::runtime_error("zip_open failed for " + nativePath);
    for (const ZipEntry& entry : entries) {
        zip_int64_t index = -1;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(archive.get(), entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t* source =
                zip_source_buffer(archive.get(), entry.contents.data(), entry.contents.size(), 0);
            index = zip_file_add(archive.get(), entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) zip_source_free(source);
        }
        if (index < 0) {
            throw std::runtime_error("cannot add " + entry.name);
        }
        zip_file_set_mtime(archive.get(), static_cast<zip_uint64_t>(index),
                           static_cast<time_t>(entry.mtime), 0);
    }
    if (zip_close(archive.get()) != 0)
        throw std::runtime_error("zip_close failed for " + nativePath);
    static_cast<void>(archive.release()); // closed
}

std::vector<std::string> ZipNames(const std::string& nativePath) {
    int error = 0;
    const ZipArchive archive{zip_open(nativePath.c_str(), ZIP_RDONLY, &error)};
    if (!archive) throw std::runtime_error("cannot open " + nativePath);
    std::vector<std::string> names;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        names.emplace_back(zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0));
    }
    return names;
}

} // namespace orv::testing
