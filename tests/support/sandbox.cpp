#include "support/sandbox.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <sys/fsuid.h>
#include <unistd.h>

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

void Sandbox::openToEveryone() const {
    fs::permissions(root_, fs::perms::all);
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        fs::permissions(entry.path(), entry.is_directory()
                                          ? fs::perms::all
                                          : fs::perms::owner_read | fs::perms::owner_write |
                                                fs::perms::group_read | fs::perms::group_write |
                                                fs::perms::others_read | fs::perms::others_write);
    }
}

void Sandbox::setMode(const std::string& relative, unsigned mode) const {
    fs::permissions(path(relative), static_cast<fs::perms>(mode));
}

namespace {

// The ids of the user "nobody" on Debian.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

} // namespace

// A change of the file-system ids away from 0 drops root's file capabilities for the thread,
// and the change back restores them.
AsOrdinaryUser::AsOrdinaryUser() : switched_(::geteuid() == 0) {
    if (!switched_) return;
    ::setfsgid(kNogroup);
    ::setfsuid(kNobody);
}

AsOrdinaryUser::~AsOrdinaryUser() {
    if (!switched_) return;
    ::setfsuid(0);
    ::setfsgid(0);
}

} // namespace orv::testing
