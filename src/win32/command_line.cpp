#include "win32/command_line.h"

namespace orv::win32 {
namespace {

// Blanks, tabs and control characters all separate the program name from its arguments.
bool IsSeparator(char16_t c) {
    return c <= u' ';
}

} // namespace

std::u16string_view ArgumentsOf(std::u16string_view commandLine) {
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine.front() == u'"') {
        const std::size_t closing = commandLine.find(u'"', 1);
        pos = closing == std::u16string_view::npos ? commandLine.size() : closing + 1;
    } else {
        while (pos < commandLine.size() && !IsSeparator(commandLine[pos]))
            ++pos;
    }
    while (pos < commandLine.size() && IsSeparator(commandLine[pos]))
        ++pos;
    return commandLine.substr(pos);
}

} // namespace orv::win32
