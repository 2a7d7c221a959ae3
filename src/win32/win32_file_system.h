#pragma once
// The updater's files on Windows, through the wide file calls.

#include "platform/file_system.h"

namespace orv::win32 {

class Win32FileSystem final : public FileSystem {
  public:
    void probeOpen(const std::string& path) override;
    void probeReplace(const std::string& path) override;
    // Makes a file in the folder that goes again when it is closed.
    void probeWriteFolder(const std::string& folder) override;
    void removeAtRestart(const std::string& path) override;
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
    // The drive or share of the folder's path, and the space left there for this user.
    Volume volumeOf(const std::string& folder) override;
    std::vector<std::string> folderNames(const std::string& folder) override;
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;
    std::string nativePath(const std::string& path) override;
    void syncFile(const std::string& path) override;
    // Flushes the files on several threads at once.
    void syncFiles(const std::vector<std::string>& paths) override;
    void syncFolder(const std::string& folder) override;
    bool syncVolumes(const std::vector<std::string>& folders) override;
};

} // namespace orv::win32
