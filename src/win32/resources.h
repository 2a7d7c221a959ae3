#pragma once
// Identifiers of the resources in orvupd.rc.

namespace orv::win32 {

inline constexpr int kIconResource = 1; // the window icon: "1 ICON" in orvupd.rc

} // namespace orv::win32
