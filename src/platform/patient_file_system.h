#pragma once
// The file system of a run that waits out a moment's hold: a virus scanner, an indexer or a sync
// client opens a file right after it appears or changes and keeps others out of it for a moment.
// Each operation of the run that changes or opens a file and fails because another program holds
// the file is tried again after growing pauses (50 ms at first, then twice as long, at most 1 s),
// for up to 10 s for one file and 60 s for the whole run, the windows answering meanwhile; only
// then does it fail as it would have at once. Access denied counts as such a hold only for files
// that the run itself has written (a file that is being removed refuses every open, and some
// scanners hold a new file that way), never where a file of another takes part. Probes and
// questions are not repeated: the updater's own checks decide what to do about what they find.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/forwarding_file_system.h"
#include "platform/run_log.h"

namespace orv {

// How long a run waits for held files, and how it spaces its attempts.
struct Patience {
    int firstPauseMilliseconds = 50;
    int longestPauseMilliseconds = 1000;
    int perFileMilliseconds = 10'000;
    int perRunMilliseconds = 60'000;
};

class PatientFileSystem final : public ForwardingFileSystem {
  public:
    // pause: waits the milliseconds given, the windows answering.
    PatientFileSystem(FileSystem& real, std::function<void(int)> pause, RunLog& log,
                      Patience patience = {});

    // Milliseconds waited so far in this run.
    int waited() const { return waited_; }

    // Runs the operation on the paths, again after each pause while another program holds one
    // of them, within the file's and the run's time.
    void patiently(const std::vector<std::string>& paths, const std::function<void()>& operation);
    // The file was made by this run (for the paths of files written in an opened folder).
    void madeHere(const std::string& path);
    bool isMadeHere(const std::string& path) const;

    void copyFile(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    std::string readFirstLine(const std::string& path) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void keepAs(const std::string& from, const std::string& to) override;
    void setReadOnly(const std::string& path, bool readOnly) override;
    std::unique_ptr<OutputFile> createFile(const std::string& path) override;
    std::unique_ptr<OutputFile> createNewFile(const std::string& path) override;
    // The folder's own operations are as patient as the file system's.
    std::unique_ptr<Folder> openFolder(const std::string& folder) override;
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> openForUpdate(const std::string& path) override;
    // A file is synced through a handle of its own, which a scanner's hold may refuse a moment.
    void syncFile(const std::string& path) override;
    // All at once first; where one of them fails, each again on its own, as patient as ever.
    void syncFiles(const std::vector<std::string>& paths) override;

  private:
    bool worthWaiting(const RuntimeError& error, const std::vector<std::string>& paths) const;

    std::function<void(int)> pause_;
    RunLog& log_;
    Patience patience_;
    int waited_ = 0;
    std::set<std::string> madeHere_; // in upper case
};

} // namespace orv
