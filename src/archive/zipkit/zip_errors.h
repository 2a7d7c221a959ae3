#pragma once
// libzip's failures as the updater's run-time errors.

#include <string>

#include <zip.h>

#include "platform/runtime_error.h"

namespace orv::zipkit {

// The error for libzip's error record, with a text that names what failed (the archive, or
// an entry in it). System errors are told apart by their errno value, which the error keeps.
RuntimeError ZipError(const zip_error_t& error, const std::string& subject);

// The same for a bare libzip error code (ZIP_ER_*), as zip_fclose gives it.
RuntimeError ZipError(int zipCode, const std::string& subject);

// An error with the standard text for its number, naming what it concerns; systemCode is the
// platform's own code where a system call failed.
RuntimeError ErrorAbout(int number, const std::string& subject, int systemCode = 0);

} // namespace orv::zipkit
