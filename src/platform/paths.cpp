#include "platform/paths.h"

#include <cstddef>

#include "platform/text.h"

namespace orv {
namespace {

bool HasDriveLetter(std::string_view path) {
    return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

bool IsUnc(std::string_view path) {
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// The end of the component that begins at pos (the position of the next separator).
std::size_t ComponentEnd(std::string_view path, std::size_t pos) {
    while (pos < path.size() && !IsSeparator(path[pos])) {
        ++pos;
    }
    return pos;
}

// How many characters of the path are its root: "C:\" 3, "C:" 2, "\\server\share\" all of
// it, a leading separator 1, a relative path 0.
std::size_t RootLength(std::string_view path) {
    if (HasDriveLetter(path)) return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
    if (IsUnc(path)) {
        const std::size_t serverEnd = ComponentEnd(path, 2);
        const std::size_t shareEnd = ComponentEnd(path, serverEnd + 1);
        return shareEnd < path.size() ? shareEnd + 1 : path.size();
    }
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// Upper case for ASCII and Latin-1 letters, one separator for "/" and "\".
char32_t FoldedCharacter(char32_t c) {
    return c == U'\\' ? U'/' : text::UpperLatin1(c);
}

} // namespace

std::string PathIn(const std::string& folder, const std::string& name) {
    if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
    return folder + "\\" + name;
}

std::string ApplicationPath(const std::string& installDir) {
    return installDir + "\\orv\\orven32.exe";
}

std::string DriveRootOf(std::string_view path) {
    if (HasDriveLetter(path)) return std::string(path.substr(0, 2)) + "\\";
    if (IsUnc(path)) {
        std::string root{path.substr(0, RootLength(path))};
        if (!IsSeparator(root.back())) root += '\\';
        return root;
    }
    return "\\";
}

std::string TargetFolder(std::string_view targetDir, std::string_view archivePath) {
    std::size_t length = targetDir.size();
    while (length > 0 && IsSeparator(targetDir[length - 1])) {
        --length;
    }
    if (length == 0) return DriveRootOf(archivePath);
    return std::string(targetDir.substr(0, length)) + "\\";
}

std::vector<std::string> FolderLevels(std::string_view folder) {
    std::vector<std::string> levels;
    std::size_t pos = RootLength(folder);
    while (pos < folder.size()) {
        const std::size_t end = ComponentEnd(folder, pos);
        if (end > pos) levels.emplace_back(folder.substr(0, end));
        pos = end + 1;
    }
    return levels;
}

FolderAndName SplitFolder(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    return {std::string(path.substr(0, nameStart)), std::string(path.substr(nameStart))};
}

char32_t NextFoldedCharacter(std::string_view path, std::size_t& pos) {
    return FoldedCharacter(text::NextCharacter(path, pos));
}

std::u32string FoldedPath(std::string_view path) {
    std::u32string folded;
    folded.reserve(path.size());
    std::size_t pos = 0;
    while (pos < path.size()) {
        folded.push_back(NextFoldedCharacter(path, pos));
    }
    return folded;
}

} // namespace orv
