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

// The capital of an ASCII or Latin-1 letter, by code point: a-z and U+00E0..U+00FE (but
// U+00F7, the division sign) lie 0x20 above theirs; ß and ÿ have none in Latin-1 and stay, as
// does every other character.
constexpr char32_t UpperLatin1(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    return c;
}

} // namespace orv::text
