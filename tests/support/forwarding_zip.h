#pragma once
// The updater's own zip component behind a fake of it: every call goes to the real one, and a
// test overrides the calls it changes or watches.

#include <cstdint>
#include <string>

#include "archive/zip_component.h"
#include "archive/zipkit/zipkit.h"
#include "platform/file_system.h"

namespace orv::testing {

class ForwardingZip : public ZipComponent {
  public:
    explicit ForwardingZip(FileSystem& files) : real_(files) {}
    void SetLanguage(std::int32_t language) override { real_.SetLanguage(language); }
    std::int32_t UnZipEx(const std::string& archive, const std::string& target,
                         const std::string& mask, std::int32_t overwrite, const char* password,
                         std::int32_t options, ProgressTarget* progress) override {
        return real_.UnZipEx(archive, target, mask, overwrite, password, options, progress);
    }
    void ZipDeleteFile(const std::string& archive, const std::string& mask,
                       ProgressTarget* progress) override {
        real_.ZipDeleteFile(archive, mask, progress);
    }
    StoredEntries entriesOf(const std::string& archive) override {
        return real_.entriesOf(archive);
    }
    bool isReducedCopyOf(const std::string& archive, const std::string& backup) override {
        return real_.isReducedCopyOf(archive, backup);
    }
    void removeLeftovers(const std::string& target) override { real_.removeLeftovers(target); }

  private:
    zipkit::Zipkit real_;
};

} // namespace orv::testing
