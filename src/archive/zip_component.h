#pragma once
// The three calls of the zip component that the archive routines make.

#include <cstdint>
#include <string>

#include "platform/windows.h"

namespace orv {

class ZipComponent {
  public:
    virtual ~ZipComponent() = default;
    virtual void SetLanguage(std::int32_t language) = 0;
    virtual std::int32_t UnZipEx(const std::string& archivePath, const std::string& targetDir,
                                 const std::string& mask, std::int32_t overwriteAll,
                                 const char* password, std::int32_t options,
                                 ProgressTarget* progress) = 0;
    virtual void ZipDeleteFile(const std::string& archivePath, const std::string& mask,
                               ProgressTarget* progress) = 0;
};

} // namespace orv
