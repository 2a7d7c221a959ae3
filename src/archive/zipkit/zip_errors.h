#pragma once
// libzip's failures as the updater's run-time errors.

#include <string>

#include <zip.h>

#include "platform/runtime_error.h"

namespace orv::zipkit {

// The error for libzip's error record, with a text that names what failed (the archive, or
// an entry in it). System errors are told apart by their errno value.
RuntimeError ZipError(const zip_error_t& error, const std::string& subject);

// The same for a bare libzip error code (ZIP_ER_*), as zip_fclose gives it.
RuntimeError ZipError(int zipCode, const std::string& subject);

// The errno value that ZipError() turns back into the updater's number of a file error (0 for
// a number it has none for), so that a failed read of the archive keeps its reason.
int SystemCodeOf(int number);

// An error with the standard text for its number, naming what it concerns.
RuntimeError ErrorAbout(int number, const std::string& subject);

} // namespace orv::zipkit
