#pragma once
// libzip's failures as the updater's run-time errors.

#include <string>

#include <zip.h>

#include "platform/runtime_error.h"

namespace orv::zipkit {

// The error for libzip's error record, with a text that names what failed (the archive, or
// an entry in it). System errors are told apart by their errno value, which the error keeps; a
// failed read of the archive keeps the number, the system's code and its meaning that the file
// system raised.
RuntimeError ZipError(const zip_error_t& error, const std::string& subject);

// Records a failed read of the archive in libzip's error record so that ZipError() gives back
// the same number, system code and meaning (a Windows code is no errno value, and the meaning
// of a held file would otherwise be lost on the way through libzip).
void SetReadFailure(zip_error_t& error, const RuntimeError& failure);

// The same for a bare libzip error code (ZIP_ER_*), as zip_fclose gives it.
RuntimeError ZipError(int zipCode, const std::string& subject);

} // namespace orv::zipkit
