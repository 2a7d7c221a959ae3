#pragma once
// The updater's text: UTF-8 throughout. String operations counted in characters, not bytes;
// reading UTF-8 without trusting the bytes; the Western Windows code page of old text files;
// upper case for the Latin-1 letters.

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

// What a byte that is not part of valid UTF-8 reads as: the byte plus this offset, so that it
// differs from every character.
inline constexpr char32_t kUndecodedByte = 0x110000;

// The character that begins at pos; pos moves past it (past one byte when none decodes:
// overlong forms, surrogates and values beyond U+10FFFF included).
char32_t NextCharacter(std::string_view text, std::size_t& pos);
bool IsValidUtf8(std::string_view text);
// Appends the character's UTF-8 form.
void AppendUtf8(std::string& out, char32_t character);

// Code page 1252 to UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);
// Text read from a file (a version line, an INI file): kept as it is when it is valid UTF-8,
// otherwise read as code page 1252 (the ANSI code page the application writes its files in).
std::string FileTextToUtf8(std::string_view bytes);

} // namespace orv::text
