#include "support/minisign.h"

#include <cstdlib>
#include <stdexcept>

namespace orv::testing {
namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void Run(const std::string& command) {
    if (std::system((command + " </dev/null >/dev/null 2>&1").c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

} // namespace

bool Minisign::Available() {
    return std::system("minisign -v >/dev/null 2>&1") == 0;
}

std::string Minisign::makeKey(const std::string& name) {
    Run("minisign -G -W -p " + Quoted(keys_.path(name + ".pub")) + " -s " +
        Quoted(keys_.path(name + ".key")));
    return keys_.readFile(name + ".pub");
}

void Minisign::sign(const std::string& name, const std::string& file, bool legacy) {
    Run(std::string("minisign -S") + (legacy ? " -l" : "") + " -s " +
        Quoted(keys_.path(name + ".key")) + " -m " + Quoted(file));
}

} // namespace orv::testing
