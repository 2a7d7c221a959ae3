// The version line as the archive's version file and the command line give it: any text is
// parsed, and keys compare as an order (the comparison the confirmation is chosen by).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text.h"
#include "update/version_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string update = input.substr(0, split);
    const std::string installed = split == std::string::npos ? "" : input.substr(split + 1);

    const orv::VersionLine a = orv::ParseVersionLine(update);
    const orv::VersionLine b = orv::ParseVersionLine(installed);
    // The date is what the line begins with, the label what follows it (counted in
    // characters, so an umlaut in the date moves the cut).
    if (a.date != update.substr(0, a.date.size())) std::abort();
    if (!a.label.empty() && a.date + a.label != update) std::abort();
    // Eight characters at most; a character may take several bytes (an umlaut, or a byte
    // that is no character of its own and stays with the one before it).
    if (orv::text::Len(a.key) > 8) std::abort();
    // Exactly one of greater, equal, smaller.
    const int relations = (a.key > b.key) + (a.key == b.key) + (a.key < b.key);
    if (relations != 1) std::abort();
    return 0;
}
