#pragma once
// A folder that many operations of one step write into (the targets of one extraction, the
// folders of the update's plan): opened once and its names read once, then kept current with
// the changes made through it, so that the step asks the system about no name twice.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace orv {

class KnownFolder {
  public:
    // path: the folder as the updater names it. A folder that the call has just made holds
    // nothing: its names need not be read (emptyNow).
    KnownFolder(FileSystem& files, std::string path, bool emptyNow);

    // The folder as the updater names it.
    const std::string& path() const { return path_; }
    // The folder and a name in it, as the updater names files.
    std::string pathOf(const std::string& name) const;
    // The name under which the folder holds name without regard to case: the name itself
    // where it holds it so, otherwise the first such name in byte order; none where none.
    std::optional<std::string> find(const std::string& name) const;
    bool holds(const std::string& name) const { return find(name).has_value(); }

    // The folder's operations; each keeps the names as the folder holds them.
    std::unique_ptr<OutputFile> createNew(const std::string& name);
    void replace(const std::string& from, const std::string& to);
    void keepAs(const std::string& from, const std::string& to);
    void remove(const std::string& name);
    void removeAtRestart(const std::string& name) { folder_->removeAtRestart(name); }
    bool readOnly(const std::string& name) { return folder_->readOnly(name); }
    void setReadOnly(const std::string& name, bool readOnly) {
        folder_->setReadOnly(name, readOnly);
    }

  private:
    void add(const std::string& name);
    void drop(const std::string& name);

    std::string path_;
    std::unique_ptr<Folder> folder_;
    // The folded form of each name -> the names that have it.
    std::map<std::u32string, std::set<std::string>> names_;
};

} // namespace orv
