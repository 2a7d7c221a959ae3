#pragma once
// Files for the Linux front end: Windows-style paths mapped onto a POSIX file system that
// is searched without regard to case, as the updater expects of its file system.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace orv::posix {

class PosixFileSystem : public FileSystem {
  public:
    // driveRoot: the folder that a rooted path without a drive ("\x") and a path with a drive
    // letter ("C:\x") lie below; "/" for the real root.
    explicit PosixFileSystem(std::string driveRoot = "/");

    // Windows-style path -> POSIX path: "\" becomes "/"; each component that exists is found
    // without regard to case (an exact match wins, otherwise the first match in byte order of
    // the names); components that do not exist yet are kept as written. A path beginning
    // with "\" or a drive letter lies below the drive root; one beginning with "/" is an
    // absolute POSIX path and used as it is; any other is relative to the working directory.
    std::string resolve(const std::string& path) const;

    const std::string& driveRoot() const { return driveRoot_; }

    void probeOpen(const std::string& path) override;
    // A file is held against replacement by the same locks that keep it from being read.
    void probeReplace(const std::string& path) override { probeOpen(path); }
    // The folder's permissions for this process, and a read-only mount.
    void probeWriteFolder(const std::string& folder) override;
    void copyFile(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    FileTime modificationTime(const std::string& path) override;
    std::string readFirstLine(const std::string& path) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void keepAs(const std::string& from, const std::string& to) override;
    bool readOnly(const std::string& path) override;
    void setReadOnly(const std::string& path, bool readOnly) override;
    bool fileExists(const std::string& path) override;
    bool directoryExists(const std::string& path) override;
    void createDirectory(const std::string& path) override;
    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override;
    // The file system of the folder (its device) and the space left for this process; named
    // by the drive letter or share of the path, or the folder where the file system is mounted.
    Volume volumeOf(const std::string& folder) override;
    std::vector<std::string> folderNames(const std::string& folder) override;
    // The folder held open: its operations are the kernel's on names relative to it.
    std::unique_ptr<Folder> openFolder(const std::string& folder) override;
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;
    std::string nativePath(const std::string& path) override;
    void syncFile(const std::string& path) override;
    // Syncs the files on several threads at once.
    void syncFiles(const std::vector<std::string>& paths) override;
    void syncFolder(const std::string& folder) override;
    // One syncfs() per volume, for local file systems.
    bool syncVolumes(const std::vector<std::string>& folders) override;

  private:
    std::string driveRoot_;
    // Where each volume seen so far is mounted, by its device number: found by asking about
    // every folder above, which the plan would do for each folder it writes to.
    std::map<std::uint64_t, std::string> mountPoints_;
};

} // namespace orv::posix
