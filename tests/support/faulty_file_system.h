#pragma once
// A file system that passes every operation on to a real one, counts the operations by kind,
// and can make the k-th operation of a kind fail, play a program that holds a file open, or a
// share that goes away while a file is read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/runtime_error.h"

namespace orv::testing {

enum class FileOp {
    Probe,
    Copy, // also keepAs: the file under a second name
    Delete,
    Time,
    FirstLine,
    Replace,
    Exists,
    CreateDirectory,
    CreateFile,
    Write,
    Close,
    SetTime,
    Sync, // a file's data, a folder's names or whole volumes put on the disk
};
inline constexpr std::size_t kFileOpCount = 13;
const char* FileOpName(FileOp op);

// One change that a run made to the files, as a power cut may keep or lose it. Paths are the
// system's own (native).
struct Change {
    enum class Kind {
        Create,     // a new empty file, or an existing one emptied
        Write,      // data at an offset
        Truncate,   // the file cut (or grown) to a size
        Name,       // a second name of a file (other: the new name)
        Rename,     // a file moved over another (other: the new name)
        Remove,     // a name removed
        MakeFolder, // a folder made
        SyncFile,   // a file's data on the disk
        SyncFolder, // a folder's names on the disk
        SyncAll,    // everything on the disk
    };
    Kind kind;
    std::string path;
    std::string other;
    std::uint64_t offset = 0; // where data is written, or the size cut to
    std::string data;
    bool inPlace = false; // written through a file opened to be changed where it stands
};

class FaultyFileSystem : public FileSystem {
  public:
    explicit FaultyFileSystem(FileSystem& real) : real_(real) {}

    // The k-th operation of this kind (counted from 1) raises the error with this number.
    void failAt(FileOp op, std::size_t k, int errorNumber);
    // The k-th operation of this kind runs raise instead (which throws what it likes: memory
    // running out, a fault of a library).
    void throwAt(FileOp op, std::size_t k, std::function<void()> raise);
    // Every operation of this kind from the k-th on raises the error.
    void failFrom(FileOp op, std::size_t k, int errorNumber);
    // The file's last-modified time reads this much later than it is.
    void skewTime(const std::string& path, FileTime delta);
    // Another program holds this file (as the updater names it, without regard to case) open:
    // it cannot be opened, copied, moved, replaced or deleted, each raising 70.
    void hold(const std::string& path);
    void release(const std::string& path);
    // A program runs from this file, as the updater itself or a loaded library: it can be moved
    // aside (and stays running under its new name) and given a second name, but neither
    // replaced nor deleted where it stands, each raising 70.
    void runFrom(const std::string& path);
    // The user has no right to change this file or folder: probing, replacing, moving or
    // deleting it, and making files in the folder, each raise 70 (denied).
    void deny(const std::string& path);
    // The program has ended: its files are free again.
    void endPrograms() { running_.clear(); }

    // Every read of a file opened for reading that reaches this offset raises the error.
    void failReadsFrom(std::uint64_t offset, RuntimeError error);

    // Runs the action just before the k-th operation overall (counted from 1, all kinds
    // together) is carried out; a crash test kills the process there.
    void atOperation(std::size_t k, std::function<void()> action);

    std::size_t count(FileOp op) const { return counts_[static_cast<std::size_t>(op)]; }
    // All operations of every kind so far.
    std::size_t total() const { return total_; }
    // True once the planned fault has been raised.
    bool faultRaised() const { return raised_; }

    void probeOpen(const std::string& path) override;
    void probeReplace(const std::string& path) override;
    void probeWriteFolder(const std::string& folder) override;
    void copyFile(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    FileTime modificationTime(const std::string& path) override;
    std::string readFirstLine(const std::string& path) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void keepAs(const std::string& from, const std::string& to) override;
    // Counted as a question whether files exist, and setting it as a change of a file's time.
    bool readOnly(const std::string& path) override;
    void setReadOnly(const std::string& path, bool readOnly) override;
    bool fileExists(const std::string& path) override;
    bool directoryExists(const std::string& path) override;
    void createDirectory(const std::string& path) override;
    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override;
    // The real volume, with the free space given to limitSpace where it was called.
    Volume volumeOf(const std::string& folder) override;
    // Every volume has this much space left, whatever the real one has.
    void limitSpace(std::uint64_t freeBytes) { freeBytes_ = freeBytes; }
    // Counted as a question whether files exist.
    std::vector<std::string> folderNames(const std::string& folder) override;
    // Opening for reading is not counted: the updater's own steps are what the faults test.
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;
    std::string nativePath(const std::string& path) override;
    void syncFile(const std::string& path) override;
    void syncFolder(const std::string& folder) override;
    bool syncVolumes(const std::vector<std::string>& folders) override;

    // Counts the operation and raises the planned fault when it is due.
    void tick(FileOp op);

    // From now on every change that reaches the real file system is kept, in order.
    void recordChanges() { recording_ = true; }
    const std::vector<Change>& changes() const { return changes_; }
    // Keeps the change when recording; paths native.
    void changed(Change::Kind kind, const std::string& path, const std::string& other = "",
                 std::uint64_t offset = 0, std::string data = "", bool inPlace = false);

  private:
    bool held(const std::string& path);
    // Raises the error for a held or a denied path.
    void refuse(const std::string& path);

    struct Fault {
        FileOp op;
        std::size_t k;
        int number;
        bool persistent;
        std::function<void()> raise; // when set, in place of the error
    };
    struct ReadFault {
        std::uint64_t offset;
        RuntimeError error;
    };

    FileSystem& real_;
    std::array<std::size_t, kFileOpCount> counts_{};
    std::size_t total_ = 0;
    std::size_t actionAt_ = 0;
    std::function<void()> action_;
    std::optional<Fault> fault_;
    bool raised_ = false;
    std::optional<ReadFault> readFault_;
    std::set<std::string> held_;    // native paths
    std::set<std::string> running_; // native paths
    std::set<std::string> denied_;  // native paths
    std::optional<std::uint64_t> freeBytes_;
    std::map<std::string, FileTime> skews_; // native paths
    bool recording_ = false;
    std::vector<Change> changes_;
};

} // namespace orv::testing
