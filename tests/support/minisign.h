#pragma once
// The minisign program as an update author runs it: key pairs without a password, made at test
// time in a folder of their own, and signatures of files beside them. Tests that need it skip
// when it is not installed.

#include <string>

#include "support/sandbox.h"

namespace orv::testing {

class Minisign {
  public:
    // Whether the minisign program can be run.
    static bool Available();

    // Makes a key pair called name; returns the text of its public key file.
    std::string makeKey(const std::string& name);
    // Signs the file (a native path) with the key pair called name into file + ".minisig";
    // legacy: minisign's older form, over the file itself.
    void sign(const std::string& name, const std::string& file, bool legacy = false);

  private:
    Sandbox keys_;
};

} // namespace orv::testing
