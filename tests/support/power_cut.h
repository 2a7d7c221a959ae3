#pragma once
// What a power cut may leave on the disk of the changes that a run made, change by change: data
// written since its file was last synced may be lost (the file cut back to what was synced, or
// left at its size with zeros for what was lost), names made, moved or removed since their
// folder was last synced may be undone, and the changes of a file changed where it stands each
// reach the disk or not, in every combination.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/faulty_file_system.h"

namespace orv::testing {

// Files below a folder, by their path relative to it ('/' between names), with their contents.
using DiskState = std::map<std::string, std::string>;

class DiskModel {
  public:
    // The folders and files below root as they are now, all on the disk.
    explicit DiskModel(std::string root);

    void apply(const Change& change);
    // Every state a power cut now may leave, each once.
    std::vector<DiskState> cutStates() const;
    // What the files hold now, power or not.
    DiskState current() const;

  private:
    struct Write {
        bool truncate = false;
        std::uint64_t at = 0; // offset, or the size cut to
        std::string bytes;
        bool inPlace = false;
    };
    struct Node {
        bool folder = false;
        std::map<std::string, std::size_t> names; // of a folder, now
        std::map<std::string, std::size_t> namesOnDisk;
        std::string data; // of a file, now
        std::string dataOnDisk;
        std::vector<Write> pending; // since its last sync
    };
    enum class Names { OnDisk, Now };
    enum class Data { Cut, Zeroed };

    std::size_t newNode(bool folder);
    // The folder that holds the path's last name, and that name.
    std::pair<std::size_t, std::string> parentOf(const std::string& path) const;
    std::size_t find(const std::string& path) const;
    void walk(std::size_t folder, const std::string& prefix, Names names, Data data,
              std::uint64_t inPlaceMask, DiskState& state) const;
    std::string contents(const Node& node, Data data, std::uint64_t& inPlaceMask) const;

    std::string root_;
    std::vector<Node> nodes_; // the first is root
};

// Makes the folder below root hold exactly the files of the state (folders are kept).
void Materialise(const std::string& root, const DiskState& state);

} // namespace orv::testing
