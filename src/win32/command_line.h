#pragma once
// The argument string of a Windows command line, as a program started with it sees it.

#include <string_view>

namespace orv::win32 {

// What follows the program name: the program name ends at its closing quote when it starts
// with one, otherwise at the first blank; the blanks after it are dropped, the rest (trailing
// blanks included) is the argument string as passed.
std::u16string_view ArgumentsOf(std::u16string_view commandLine);

} // namespace orv::win32
