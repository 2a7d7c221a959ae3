#pragma once
// A temporary folder for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>
#include <vector>

namespace orv::testing {

class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    void makeDirectory(const std::string& relative) const;
    void writeFile(const std::string& relative, const std::string& contents) const;
    std::string readFile(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    // Every file below the sandbox (relative, sorted), with its contents.
    std::vector<std::pair<std::string, std::string>> snapshot() const;
    // Lets every user read and write everything below the sandbox, so that a test may work in
    // it as an ordinary user (see AsOrdinaryUser).
    void openToEveryone() const;
    // The file's or folder's permission bits.
    void setMode(const std::string& relative, unsigned mode) const;

  private:
    std::string root_;
};

// For its lifetime, the files this thread touches are checked as an ordinary user's (nobody),
// not as root's, so that permissions keep it out as they keep out a user at a desk. A test
// that is no root's is such a user already: then nothing changes.
class AsOrdinaryUser {
  public:
    AsOrdinaryUser();
    ~AsOrdinaryUser();
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

  private:
    bool switched_;
};

} // namespace orv::testing
