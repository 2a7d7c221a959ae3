#pragma once
// Masks as the updater writes them ("ORVEN.MDB", "*.OCX", "*orvupd.txt", "*.*"), matched
// against an entry's whole stored path.

#include <string>
#include <string_view>

namespace orv {

// True when the mask matches the stored path. "*" stands for any run of characters, folder
// separators included, "?" for exactly one character; "*.*" matches every path, also one
// without a dot. "/" and "\" are the same separator, and letters match without regard to case
// (ASCII and the Latin-1 letters). Both texts are UTF-8. Takes time proportional to the product
// of the lengths at worst, never more.
bool MaskMatches(std::string_view mask, std::string_view storedPath);

} // namespace orv
