#include "platform/known_folder.h"

#include <utility>

#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace orv {

KnownFolder::KnownFolder(FileSystem& files, std::string path, bool emptyNow)
    : path_(std::move(path)), folder_(files.openFolder(path_)) {
    if (emptyNow) return;
    for (const std::string& name : folder_->names()) {
        add(name);
    }
}

std::string KnownFolder::pathOf(const std::string& name) const {
    return PathIn(path_, name);
}

std::optional<std::string> KnownFolder::find(const std::string& name) const {
    const auto same = names_.find(FoldedPath(name));
    if (same == names_.end()) return std::nullopt;
    if (same->second.count(name) > 0) return name;
    return *same->second.begin();
}

std::unique_ptr<OutputFile> KnownFolder::createNew(const std::string& name) {
    try {
        std::unique_ptr<OutputFile> file = folder_->createNew(name);
        add(name);
        return file;
    } catch (const RuntimeError& error) {
        if (error.number() == err::kFileExists) add(name); // made by someone else meanwhile
        throw;
    }
}

void KnownFolder::replace(const std::string& from, const std::string& to) {
    folder_->replace(from, to);
    drop(from);
    add(to);
}

void KnownFolder::keepAs(const std::string& from, const std::string& to) {
    folder_->keepAs(from, to);
    add(to);
}

void KnownFolder::remove(const std::string& name) {
    folder_->remove(name);
    drop(name);
}

void KnownFolder::add(const std::string& name) {
    names_[FoldedPath(name)].insert(name);
}

void KnownFolder::drop(const std::string& name) {
    const auto same = names_.find(FoldedPath(name));
    if (same == names_.end()) return;
    same->second.erase(name);
    if (same->second.empty()) names_.erase(same);
}

} // namespace orv
