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

  private:
    std::string root_;
};

} // namespace orv::testing
