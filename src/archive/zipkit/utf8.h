#pragma once
// Reading UTF-8 one character at a time, without trusting the bytes.

#include <cstddef>
#include <string_view>

namespace orv::zipkit {

// What a byte that is not part of valid UTF-8 reads as: the byte plus this offset, so that it
// differs from every character.
inline constexpr char32_t kUndecodedByte = 0x110000;

// The character that begins at pos; pos moves past it (past one byte when none decodes).
char32_t NextCharacter(std::string_view text, std::size_t& pos);

bool IsValidUtf8(std::string_view text);

} // namespace orv::zipkit
