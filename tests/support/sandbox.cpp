#include "support/sandbox.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace orv::testing {

namespace fs = std::filesystem;

Sandbox::Sandbox() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvupd-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

void Sandbox::makeDirectory(const std::string& relative) const {
    fs::create_directories(path(relative));
}

void Sandbox::writeFile(const std::string& relative, const std::string& contents) const {
    fs::create_directories(fs::path(path(relative)).parent_path());
    std::ofstream out(path(relative), std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string Sandbox::readFile(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Sandbox::exists(const std::string& relative) const {
    return fs::exists(path(relative));
}

std::vector<std::pair<std::string, std::string>> Sandbox::snapshot() const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), root_).generic_string();
        files.emplace_back(relative, readFile(relative));
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace orv::testing
