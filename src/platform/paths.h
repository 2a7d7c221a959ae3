#pragma once
// Paths as the updater names files, the Windows way: "\" (or "/") between the components,
// drive letters and network shares as roots, names compared without regard to case.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The rules that hold for UTF-8 and for the UTF-16 of the Windows calls alike.
template <typename Char> constexpr bool IsSeparator(Char c) {
    return c == Char('/') || c == Char('\\');
}
template <typename Char> constexpr bool IsDriveLetter(Char c) {
    return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
}
// The drive of a full path as the user knows it: "D:" for "D:\x", "\\server\share" for a
// network path; empty for any other path (rooted, relative, or a device form "\\?\", "\\.\").
template <typename Char> std::basic_string_view<Char> DriveOf(std::basic_string_view<Char> path) {
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == Char(':')) {
        return path.substr(0, 2);
    }
    const bool network = path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                         path[2] != Char('?') && path[2] != Char('.');
    if (!network) return {};
    std::size_t end = 2;
    for (int part = 0; part < 2; ++part) { // the server, then the share
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (part == 0 && end < path.size()) ++end;
    }
    return path.substr(0, end);
}

// The name in the folder: "C:\a" and "b" give "C:\a\b", as does "C:\a\" and "b".
std::string PathIn(const std::string& folder, const std::string& name);

// The root of the drive that holds the file: "C:\" for "C:\x\y.zip", "\\server\share\" for a
// UNC path, "\" for anything else (a rooted path, or an absolute POSIX path).
std::string DriveRootOf(std::string_view path);

// The folder that the caller's target names, ending in exactly one "\". A target that is only
// separators ("\") is the root of the drive that holds the archive.
std::string TargetFolder(std::string_view targetDir, std::string_view archivePath);

// Every folder from the first one below the path's root down to the path itself, as prefixes
// of the path: "C:\a\b\" gives "C:\a" and "C:\a\b". Empty components are passed over.
std::vector<std::string> FolderLevels(std::string_view folder);

// A file's folder, ending in its "\", and its name: "C:\a\b.txt" gives "C:\a\" and "b.txt".
struct FolderAndName {
    std::string folder;
    std::string name;
};
FolderAndName SplitFolder(std::string_view path);

// The application's program in the installation: InstallDir\orv\orven32.exe.
std::string ApplicationPath(const std::string& installDir);

// The path in a form in which two paths that name the same file on Windows are equal:
// separators unified, letters folded to upper case (ASCII and the Latin-1 letters; ß and ÿ
// stay). One element per character; a byte that is not part of valid UTF-8 stands for itself,
// apart from every character.
std::u32string FoldedPath(std::string_view path);

// The element of FoldedPath() for the character that begins at pos; pos moves past it.
char32_t NextFoldedCharacter(std::string_view path, std::size_t& pos);

} // namespace orv
