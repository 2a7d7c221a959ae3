#pragma once
// The progress channel: the text of `txtStatus` as the zip component writes it.

#include <cstdint>
#include <string_view>

#include "platform/windows.h"

namespace orv::ui {

// The text's leading number (blanks skipped, sign, digits, "." and decimals), rounded to the
// nearest integer with halves to even and clamped to 32 bits; 0 when there is none.
std::int32_t ChannelValue(std::string_view text);

// The reaction to a change of the text: draws the bar for its value. The caller refreshes
// `picProgress` afterwards.
void ReactToStatusText(std::string_view text, DrawingSurface& picProgress);

} // namespace orv::ui
