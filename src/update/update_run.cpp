#include "update/update_run.h"

#include <limits>

#include "platform/runtime_error.h"

namespace orv {

UpdateRun::UpdateRun(Platform& platform, ZipComponent& component)
    : os(platform), zip(component), Start(platform.startView(), platform.version()),
      frmShellExecute(platform.launcherView()),
      modZip(platform, component, [this]() -> ProgressTarget& { return Start.statusTarget(); }) {}

void UpdateRun::addCopied(std::int32_t count) {
    const std::int64_t sum = std::int64_t{CopiedCount} + count;
    if (sum > std::numeric_limits<std::int16_t>::max() ||
        sum < std::numeric_limits<std::int16_t>::min()) {
        throw RuntimeError(err::kOverflow);
    }
    CopiedCount = static_cast<std::int16_t>(sum);
}

} // namespace orv
