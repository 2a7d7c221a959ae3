#include "platform/patient_file_system.h"

#include <algorithm>
#include <utility>

#include "platform/paths.h"
#include "platform/text.h"

namespace orv {
namespace {

std::string Described(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) {
        if (!text.empty()) text += " -> ";
        text += path;
    }
    return text;
}

// A folder whose operations wait like the file system that opened it.
class PatientFolder final : public ForwardingFolder {
  public:
    PatientFolder(PatientFileSystem& files, std::unique_ptr<Folder> real, std::string path)
        : ForwardingFolder(std::move(real)), files_(files), path_(std::move(path)) {}

    std::unique_ptr<OutputFile> createNew(const std::string& name) override {
        std::unique_ptr<OutputFile> file;
        files_.patiently({pathOf(name)}, [&] { file = inner().createNew(name); });
        files_.madeHere(pathOf(name));
        return file;
    }
    void replace(const std::string& from, const std::string& to) override {
        files_.patiently({pathOf(from), pathOf(to)}, [&] { inner().replace(from, to); });
        if (files_.isMadeHere(pathOf(from))) files_.madeHere(pathOf(to));
    }
    void keepAs(const std::string& from, const std::string& to) override {
        files_.patiently({pathOf(from), pathOf(to)}, [&] { inner().keepAs(from, to); });
    }
    void remove(const std::string& name) override {
        files_.patiently({pathOf(name)}, [&] { inner().remove(name); });
    }
    void setReadOnly(const std::string& name, bool readOnly) override {
        files_.patiently({pathOf(name)}, [&] { inner().setReadOnly(name, readOnly); });
    }

  private:
    std::string pathOf(const std::string& name) const { return PathIn(path_, name); }

    PatientFileSystem& files_;
    std::string path_;
};

} // namespace

PatientFileSystem::PatientFileSystem(FileSystem& real, std::function<void(int)> pause, RunLog& log,
                                     Patience patience)
    : ForwardingFileSystem(real), pause_(std::move(pause)), log_(log), patience_(patience) {}

void PatientFileSystem::madeHere(const std::string& path) {
    madeHere_.insert(text::UCase(path));
}

bool PatientFileSystem::isMadeHere(const std::string& path) const {
    return madeHere_.count(text::UCase(path)) > 0;
}

// Another program's hold passes; so may a refusal of files the run has just written, which a
// scanner has open or which are on their way out. A refusal where any other file takes part
// (a running program that is to be replaced, a file of someone else) is a missing right.
bool PatientFileSystem::worthWaiting(const RuntimeError& error,
                                     const std::vector<std::string>& paths) const {
    if (error.held()) return true;
    return error.denied() &&
           std::ranges::all_of(paths, [this](const std::string& path) { return isMadeHere(path); });
}

void PatientFileSystem::patiently(const std::vector<std::string>& paths,
                                  const std::function<void()>& operation) {
    int waitedHere = 0;
    int pause = patience_.firstPauseMilliseconds;
    for (;;) {
        try {
            operation();
            if (waitedHere > 0) {
                log_.note("Nach " + std::to_string(waitedHere) +
                          " ms wieder frei: " + Described(paths));
            }
            return;
        } catch (const RuntimeError& error) {
            const int left = std::min(patience_.perFileMilliseconds - waitedHere,
                                      patience_.perRunMilliseconds - waited_);
            if (!worthWaiting(error, paths) || left <= 0) {
                if (waitedHere > 0) {
                    log_.note("Nach " + std::to_string(waitedHere) +
                              " ms noch von einem anderen Programm geöffnet: " + Described(paths));
                }
                throw;
            }
            if (waitedHere == 0) {
                log_.note("Warte auf eine von einem anderen Programm geöffnete Datei: " +
                          Described(paths) + " (" + ErrorForLog(error) + ")");
            }
            const int now = std::min(pause, left);
            pause_(now);
            waitedHere += now;
            waited_ += now;
            pause = std::min(pause * 2, patience_.longestPauseMilliseconds);
        }
    }
}

void PatientFileSystem::copyFile(const std::string& from, const std::string& to) {
    patiently({from, to}, [&] { inner().copyFile(from, to); });
    madeHere(to);
}

void PatientFileSystem::deleteFile(const std::string& path) {
    patiently({path}, [&] { inner().deleteFile(path); });
}

std::string PatientFileSystem::readFirstLine(const std::string& path) {
    std::string line;
    patiently({path}, [&] { line = inner().readFirstLine(path); });
    return line;
}

void PatientFileSystem::replaceFile(const std::string& from, const std::string& to) {
    patiently({from, to}, [&] { inner().replaceFile(from, to); });
    if (isMadeHere(from)) madeHere(to);
}

void PatientFileSystem::keepAs(const std::string& from, const std::string& to) {
    patiently({from, to}, [&] { inner().keepAs(from, to); });
}

void PatientFileSystem::setReadOnly(const std::string& path, bool readOnly) {
    patiently({path}, [&] { inner().setReadOnly(path, readOnly); });
}

void PatientFileSystem::syncFile(const std::string& path) {
    patiently({path}, [&] { inner().syncFile(path); });
}

void PatientFileSystem::syncFiles(const std::vector<std::string>& paths) {
    try {
        inner().syncFiles(paths);
    } catch (const RuntimeError&) {
        // Syncing again what is on the disk already costs next to nothing.
        for (const std::string& path : paths) {
            syncFile(path);
        }
    }
}

std::unique_ptr<OutputFile> PatientFileSystem::createFile(const std::string& path) {
    std::unique_ptr<OutputFile> file;
    patiently({path}, [&] { file = inner().createFile(path); });
    madeHere(path);
    return file;
}

std::unique_ptr<OutputFile> PatientFileSystem::createNewFile(const std::string& path) {
    std::unique_ptr<OutputFile> file;
    patiently({path}, [&] { file = inner().createNewFile(path); });
    madeHere(path);
    return file;
}

std::unique_ptr<Folder> PatientFileSystem::openFolder(const std::string& folder) {
    return std::make_unique<PatientFolder>(*this, inner().openFolder(folder), folder);
}

std::unique_ptr<InputFile> PatientFileSystem::openForReading(const std::string& path) {
    std::unique_ptr<InputFile> file;
    patiently({path}, [&] { file = inner().openForReading(path); });
    return file;
}

std::unique_ptr<RandomAccessFile> PatientFileSystem::openForUpdate(const std::string& path) {
    std::unique_ptr<RandomAccessFile> file;
    patiently({path}, [&] { file = inner().openForUpdate(path); });
    return file;
}

} // namespace orv
