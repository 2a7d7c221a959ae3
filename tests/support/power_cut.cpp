#include "support/power_cut.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

namespace orv::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> NamesOf(const std::string& relative) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        if (end > start) names.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void Applied(std::string& data, bool truncate, std::uint64_t at, const std::string& bytes) {
    if (truncate) {
        data.resize(static_cast<std::size_t>(at), '\0');
        return;
    }
    const auto offset = static_cast<std::size_t>(at);
    if (data.size() < offset + bytes.size()) data.resize(offset + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The changes of files changed where they stand are tried in every combination up to this many.
constexpr std::size_t kMostInPlace = 10;

} // namespace

DiskModel::DiskModel(std::string root) : root_(std::move(root)) {
    newNode(true);
    for (auto entry = fs::recursive_directory_iterator(root_);
         entry != fs::recursive_directory_iterator(); ++entry) {
        const std::string relative = fs::relative(entry->path(), root_).generic_string();
        const auto [parent, name] = parentOf(relative);
        const std::size_t node = newNode(entry->is_directory());
        if (!entry->is_directory()) {
            nodes_[node].data = Read(entry->path());
            nodes_[node].dataOnDisk = nodes_[node].data;
        }
        nodes_[parent].names[name] = node;
        nodes_[parent].namesOnDisk[name] = node;
    }
}

std::size_t DiskModel::newNode(bool folder) {
    nodes_.push_back(Node{});
    nodes_.back().folder = folder;
    return nodes_.size() - 1;
}

std::pair<std::size_t, std::string> DiskModel::parentOf(const std::string& path) const {
    std::string relative = path;
    if (relative.rfind(root_ + "/", 0) == 0) relative = relative.substr(root_.size() + 1);
    std::vector<std::string> names = NamesOf(relative);
    if (names.empty()) throw std::logic_error("no name in " + path);
    const std::string last = names.back();
    names.pop_back();
    std::size_t folder = 0;
    for (const std::string& name : names) {
        const auto found = nodes_[folder].names.find(name);
        if (found == nodes_[folder].names.end()) throw std::logic_error("no folder for " + path);
        folder = found->second;
    }
    return {folder, last};
}

std::size_t DiskModel::find(const std::string& path) const {
    if (path == root_) return 0;
    const auto [folder, name] = parentOf(path);
    const auto found = nodes_[folder].names.find(name);
    if (found == nodes_[folder].names.end()) throw std::logic_error("no file " + path);
    return found->second;
}

void DiskModel::apply(const Change& change) {
    using Kind = Change::Kind;
    switch (change.kind) {
    case Kind::Create: {
        const auto [folder, name] = parentOf(change.path);
        const auto found = nodes_[folder].names.find(name);
        if (found == nodes_[folder].names.end()) {
            const std::size_t node = newNode(false);
            nodes_[folder].names[name] = node;
        } else {
            Node& file = nodes_[found->second];
            file.data.clear();
            file.pending.push_back({true, 0, "", false});
        }
        break;
    }
    case Kind::Write:
    case Kind::Truncate: {
        Node& file = nodes_[find(change.path)];
        const bool truncate = change.kind == Kind::Truncate;
        Applied(file.data, truncate, change.offset, change.data);
        file.pending.push_back({truncate, change.offset, change.data, change.inPlace});
        break;
    }
    case Kind::Name:
    case Kind::Rename: {
        const std::size_t node = find(change.path);
        if (change.kind == Kind::Rename) {
            const auto [from, fromName] = parentOf(change.path);
            nodes_[from].names.erase(fromName);
        }
        const auto [to, toName] = parentOf(change.other);
        nodes_[to].names[toName] = node;
        break;
    }
    case Kind::Remove: {
        const auto [folder, name] = parentOf(change.path);
        nodes_[folder].names.erase(name);
        break;
    }
    case Kind::MakeFolder: {
        const auto [folder, name] = parentOf(change.path);
        if (nodes_[folder].names.count(name) == 0) nodes_[folder].names[name] = newNode(true);
        break;
    }
    case Kind::SyncFile: {
        Node& file = nodes_[find(change.path)];
        file.dataOnDisk = file.data;
        file.pending.clear();
        break;
    }
    case Kind::SyncFolder: {
        Node& folder = nodes_[find(change.path)];
        folder.namesOnDisk = folder.names;
        break;
    }
    case Kind::SyncAll:
        for (Node& node : nodes_) {
            node.namesOnDisk = node.names;
            node.dataOnDisk = node.data;
            node.pending.clear();
        }
        break;
    }
}

std::string DiskModel::contents(const Node& node, Data data, std::uint64_t& inPlaceMask) const {
    if (node.pending.empty()) return node.data;
    const bool inPlace = std::any_of(node.pending.begin(), node.pending.end(),
                                     [](const Write& write) { return write.inPlace; });
    if (inPlace && node.pending.size() <= kMostInPlace) {
        std::string kept = node.dataOnDisk;
        for (const Write& write : node.pending) {
            if (inPlaceMask & 1) Applied(kept, write.truncate, write.at, write.bytes);
            inPlaceMask >>= 1;
        }
        return kept;
    }
    if (data == Data::Cut) return node.dataOnDisk;
    std::string zeroed = node.data;
    for (const Write& write : node.pending) {
        if (write.truncate) continue;
        const auto from = std::min<std::size_t>(static_cast<std::size_t>(write.at), zeroed.size());
        const auto to = std::min<std::size_t>(from + write.bytes.size(), zeroed.size());
        std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(from),
                  zeroed.begin() + static_cast<std::ptrdiff_t>(to), '\0');
    }
    return zeroed;
}

void DiskModel::walk(std::size_t folder, const std::string& prefix, Names names, Data data,
                     std::uint64_t inPlaceMask, DiskState& state) const {
    const Node& node = nodes_[folder];
    for (const auto& [name, child] : names == Names::Now ? node.names : node.namesOnDisk) {
        const std::string path = prefix.empty() ? name : prefix + "/" + name;
        if (nodes_[child].folder) {
            walk(child, path, names, data, inPlaceMask, state);
        } else {
            // Every name of a file changed in place shows the same combination of its changes.
            std::uint64_t mask = inPlaceMask;
            state[path] = contents(nodes_[child], data, mask);
        }
    }
}

std::vector<DiskState> DiskModel::cutStates() const {
    std::size_t inPlace = 0;
    for (const Node& node : nodes_) {
        const bool changed = std::any_of(node.pending.begin(), node.pending.end(),
                                         [](const Write& write) { return write.inPlace; });
        if (changed && node.pending.size() <= kMostInPlace) {
            inPlace = std::max(inPlace, node.pending.size());
        }
    }
    std::set<DiskState> states;
    for (const Names names : {Names::OnDisk, Names::Now}) {
        for (const Data data : {Data::Cut, Data::Zeroed}) {
            for (std::uint64_t mask = 0; mask < (std::uint64_t{1} << inPlace); ++mask) {
                DiskState state;
                walk(0, "", names, data, mask, state);
                states.insert(std::move(state));
            }
        }
    }
    return {states.begin(), states.end()};
}

DiskState DiskModel::current() const {
    DiskState state;
    std::vector<std::pair<std::size_t, std::string>> folders{{0, ""}};
    while (!folders.empty()) {
        const auto [folder, prefix] = folders.back();
        folders.pop_back();
        for (const auto& [name, child] : nodes_[folder].names) {
            const std::string path = prefix.empty() ? name : prefix + "/" + name;
            if (nodes_[child].folder) {
                folders.emplace_back(child, path);
            } else {
                state[path] = nodes_[child].data;
            }
        }
    }
    return state;
}

void Materialise(const std::string& root, const DiskState& state) {
    std::vector<fs::path> stale;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) continue;
        if (state.count(fs::relative(entry.path(), root).generic_string()) == 0) {
            stale.push_back(entry.path());
        }
    }
    for (const fs::path& path : stale)
        fs::remove(path);
    for (const auto& [relative, contents] : state) {
        const fs::path path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    }
}

} // namespace orv::testing
