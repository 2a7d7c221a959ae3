// The progress channel on any text the component might write: the leading number is read
// and the bar drawn for it without leaving the picture.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/runtime_error.h"
#include "support/recording_surface.h"
#include "ui/draw_progress.h"
#include "ui/progress_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t value = orv::ui::ChannelValue(text);
    static_cast<void>(value);

    orv::testing::RecordingSurface surface;
    orv::ui::ReactToStatusText(text, surface);
    const auto picture = surface.picture();
    if (picture.barEnd > surface.ScaleWidth()) std::abort();

    orv::testing::RecordingSurface other;
    if (size >= 12) {
        std::int32_t bounds[3];
        __builtin_memcpy(bounds, data, sizeof bounds);
        try {
            orv::ui::DrawProgress(other, bounds[0], bounds[1], bounds[2],
                                  (data[size - 1] & 1) != 0);
        } catch (const orv::RuntimeError&) {
            // An overflow is the updater's run-time error, which its handler reports.
        }
    }
    return 0;
}
