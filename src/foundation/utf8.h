// UTF-8, the encoding of the JSON API's edge: reading one character at a
// time (overlong forms, surrogates and code points beyond U+10FFFF are no
// characters) and writing a code point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Utf8Character {
  char32_t codePoint = kReplacementCharacter;
  size_t length = 1;  // bytes taken; 1 for a byte that starts no character
  bool valid = false;
};

// The character that starts at position at (at < text.size()).
Utf8Character ReadUtf8Character(std::string_view text, size_t at);
bool IsValidUtf8(std::string_view text);
// Appends the code point's bytes; a surrogate or anything beyond U+10FFFF
// is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);
