#pragma once
// String operations the updater counts in characters, not bytes: text is UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::text {

inline constexpr std::string_view CRLF = "\r\n";

std::size_t Len(std::string_view s);
// The first n characters (all of them when n is larger).
std::string Left(std::string_view s, std::size_t n);
// The last n characters (all of them when n is larger).
std::string Right(std::string_view s, std::size_t n);
// Characters from position start (1-based) on, at most length of them.
std::string Mid(std::string_view s, std::size_t start, std::size_t length = std::string_view::npos);
// Upper case for ASCII and the Latin-1 letters (ä -> Ä, ß stays).
std::string UCase(std::string_view s);

} // namespace orv::text
