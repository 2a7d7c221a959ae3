#pragma once
// Files as the updater sees them. Paths are Windows-style strings ("\" as separator,
// compared without regard to case); each front end maps them to its own file system.
// Every operation raises RuntimeError on failure.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime_error.h"

namespace orv {

// A file's last-modified time in the platform's own resolution; only ever compared for
// equality or handed back to the platform.
using FileTime = std::int64_t;

// The most of a file's first line that the updater reads (readFirstLine).
inline constexpr std::size_t kFirstLineLimit = 64 * 1024;

// A file being written. Nothing is guaranteed to be on the disk before sync() returns; close()
// alone promises nothing of the kind.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    virtual void write(const char* data, std::size_t size) = 0;
    // Gives the file its last-modified time, in seconds since 1970 (UTC), after the last write.
    virtual void setModificationTime(std::int64_t unixSeconds) = 0;
    // Starts writing what was written so far to the disk and returns at once, so that a later
    // sync finds less to wait for. A hint: it promises nothing, and where the system has no
    // such request it does nothing.
    virtual void startWriteBack() {}
    // Returns once what was written, the file's size and its time are on the disk.
    virtual void sync() = 0;
    // Hands what was written to the system and closes; a file destroyed without close() is
    // closed and left as it is.
    virtual void close() = 0;
};

// A file opened to be read at chosen offsets. Every operation raises RuntimeError on failure.
class InputFile {
  public:
    virtual ~InputFile() = default;
    virtual std::uint64_t size() = 0;
    // Reads exactly size bytes; a file that ends before raises 62.
    virtual void readAt(std::uint64_t offset, char* data, std::size_t size) = 0;
};

// A file opened to be changed where it stands: read and written at chosen offsets, cut short.
// No other program may open it meanwhile.
class RandomAccessFile : public InputFile {
  public:
    virtual void writeAt(std::uint64_t offset, const char* data, std::size_t size) = 0;
    // Cuts the file to this length.
    virtual void truncate(std::uint64_t size) = 0;
    // Returns once every change made so far is on the disk: no change made after it reaches
    // the disk before those made before it.
    virtual void sync() = 0;
    // Closes; a file destroyed without close() is closed and left as it is.
    virtual void close() = 0;
};

// One folder, opened for the files of one call. Names are the folder's own, exactly as
// names() gives them: a folder opened once answers without asking about its path again, so
// that a call with thousands of files asks the system about each file only what it does.
class Folder {
  public:
    virtual ~Folder() = default;
    // Every entry the folder holds, files and folders, as it holds them.
    virtual std::vector<std::string> names() = 0;
    // Creates a file of this name for writing; a name that exists already raises 58.
    virtual std::unique_ptr<OutputFile> createNew(const std::string& name) = 0;
    // As FileSystem::replaceFile, keepAs, deleteFile and removeAtRestart, within the folder.
    virtual void replace(const std::string& from, const std::string& to) = 0;
    virtual void keepAs(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& name) = 0;
    virtual void removeAtRestart(const std::string& name) = 0;
    // As FileSystem::readOnly and setReadOnly, within the folder.
    virtual bool readOnly(const std::string& name) = 0;
    virtual void setReadOnly(const std::string& name, bool readOnly) = 0;
};

// The volume that holds a folder, as the space check before an installation sees it.
struct Volume {
    std::string id;              // the same for every folder of one volume
    std::string name;            // as the user knows it: "D:", "\\server\share"
    std::uint64_t freeBytes = 0; // what this process may still write there
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens the file for reading with the platform's default sharing and closes it again.
    // A file held by another program raises 70 (held), one the user may not read 70 (denied).
    virtual void probeOpen(const std::string& path) = 0;
    // Raises 70 when the file can be neither replaced nor moved aside: held when another
    // program holds it, denied when the user may not (any other failure raises its own number,
    // a missing file 53 or 76).
    virtual void probeReplace(const std::string& path) = 0;
    // Raises 70 (denied) when this process may make no file in the existing folder (no right
    // to, a write-protected volume); nothing in it can then be replaced either.
    virtual void probeWriteFolder(const std::string& folder) = 0;
    // Copies a file over any existing one; the copy keeps the source's last-modified time. A
    // copy that fails may leave the target half written (see CopyIntoPlace).
    virtual void copyFile(const std::string& from, const std::string& to) = 0;
    virtual void deleteFile(const std::string& path) = 0;
    virtual FileTime modificationTime(const std::string& path) = 0;
    // The first line, up to the first CR or LF and at most kFirstLineLimit bytes. An empty
    // file raises 62.
    virtual std::string readFirstLine(const std::string& path) = 0;

    // Moves a file over another in one step: the target is either the old or the new file.
    virtual void replaceFile(const std::string& from, const std::string& to) = 0;
    // Gives the file a second name (a hard link) where the file system allows it, and copies
    // it there (keeping its time) where not. The file itself stays where it is, untouched.
    virtual void keepAs(const std::string& from, const std::string& to) = 0;
    // Asks the system to remove the file when it next starts, where this process may (on
    // Windows, one with an administrator's rights); nothing where not.
    virtual void removeAtRestart(const std::string& /*path*/) {}
    // Whether the file is marked read-only: Windows' attribute, on Linux a file that its owner
    // may not write. Such a file can be neither replaced nor deleted on Windows until the mark
    // is cleared; a second name of the file (keepAs) shares the mark.
    virtual bool readOnly(const std::string& path) = 0;
    // Marks the file read-only, or clears the mark (on Linux: lets its owner write it again).
    virtual void setReadOnly(const std::string& path, bool readOnly) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    virtual bool directoryExists(const std::string& path) = 0;
    // Creates one directory; its parent must exist. An existing directory is no error.
    virtual void createDirectory(const std::string& path) = 0;
    // Creates a new file, or empties an existing one, for writing.
    virtual std::unique_ptr<OutputFile> createFile(const std::string& path) = 0;
    // Creates a file that does not exist yet; one that does raises 58.
    virtual std::unique_ptr<OutputFile> createNewFile(const std::string& path) = 0;
    // The volume of an existing folder.
    virtual Volume volumeOf(const std::string& folder) = 0;
    // Every entry of an existing folder, files and folders, as the folder holds them.
    virtual std::vector<std::string> folderNames(const std::string& folder) = 0;
    // Opens an existing folder. By default each of its operations is this file system's own
    // on the folder's path and the name.
    virtual std::unique_ptr<Folder> openFolder(const std::string& folder);
    // Opens an existing file for reading; other programs may read it meanwhile, not change it.
    virtual std::unique_ptr<InputFile> openForReading(const std::string& path) = 0;
    // Opens an existing file for reading and writing in place, shared with no one.
    virtual std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) = 0;
    // The path in the form the platform's own libraries take (UTF-8).
    virtual std::string nativePath(const std::string& path) = 0;

    // What survives a power cut. Data written, and names made, moved or removed, may reach the
    // disk in any order and some time later, unless one of these has returned since.
    //
    // Returns once the data of an existing file, as anyone last wrote it, is on the disk.
    virtual void syncFile(const std::string& path) = 0;
    // Returns once the data of each of these files is on the disk, as syncFile would; several at
    // once where the system gains from it. Raises the error of a file that cannot be synced. By
    // default one after another through syncFile.
    virtual void syncFiles(const std::vector<std::string>& paths);
    // Returns once the names in an existing folder are on the disk as they are now. Where the
    // file system's own moves write through (Windows), nothing is done.
    virtual void syncFolder(const std::string& folder) = 0;
    // Puts everything written to the volumes that hold these folders on the disk, one request
    // per volume, and returns true. Where the platform has no such request, or a volume lies on
    // another computer, it does nothing and returns false: the caller syncs file by file.
    virtual bool syncVolumes(const std::vector<std::string>& folders) = 0;
};

// Runs syncOne for each path, on several threads at once: a disk that is given many files to
// put down in one go gathers them into fewer writes (a journal's commit, a queue of requests).
// Raises the failure of the first path in the order given that failed, once all were tried.
// syncOne must be safe to run on several threads at a time.
void SyncConcurrently(const std::vector<std::string>& paths,
                      const std::function<void(const std::string&)>& syncOne);

// Copies a file so that the target is never half written, not even after a power cut: into a
// part file beside it first (".<name>.orvtmp-copy": a copy that was killed halfway leaves it
// there, and the next copy to the same target takes it over), which is put on the disk, then
// over the target in one step, and the target's folder is put on the disk after it. whileWriting
// runs once the copy is made and before it is put on the disk: work that the disk's writing of
// the copy can overlap, done before the copy takes its name.
void CopyIntoPlace(FileSystem& files, const std::string& from, const std::string& to,
                   const std::function<void()>& whileWriting = {});

// The first line of a file, up to the first CR or LF. A line longer than 64 KiB is cut there:
// the updater reads only short version lines, and a file without any line break must not be
// read into memory whole. An empty file raises 62.
std::string FirstLineOf(InputFile& file);

} // namespace orv
