#pragma once
// Where extracted files go: the target folder the caller names, and the folders on the way
// to each file.

#include <string>
#include <string_view>
#include <vector>

namespace orv::zipkit {

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

} // namespace orv::zipkit
