// User text as the bytes browsers send: a GB2312 page's form comes back in
// GBK, the superset current browsers use for it. Everything that looks at
// the bytes of user text (name rules, cleaning, cutting, case folding,
// escaping) walks its characters here, so that no trail byte of a Chinese
// character is ever taken for the ASCII character of the same value
// (U+8AA0 is D5 5C, and 5C is '\').
#pragma once

#include <string>
#include <string_view>

// GBK: a lead byte 0x81-0xFE and a trail byte 0x40-0x7E or 0x80-0xFE make
// one character; every other byte is a character of one byte: ASCII, 0x80
// (the euro sign), 0xFF, and a lead byte whose next byte is no trail (or
// that ends the text). A browser reads them the same way: a byte after a
// lead byte that is no trail is never swallowed.
bool IsGbkLead(unsigned char byte);
bool IsGbkTrail(unsigned char byte);
// The length in bytes (1 or 2) of the character that starts at position at.
size_t CharacterLength(std::string_view text, size_t at);
// A character as a browser shows it: two bytes, or one byte that is no
// lead byte and not 0xFF (a lead byte without its trail, like 0xFF, shows
// as a replacement mark).
bool IsWholeCharacter(std::string_view character);

// Calls visit(character) for each character of the text, in order.
template <class Visit>
void ForEachCharacter(std::string_view text, Visit visit) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = CharacterLength(text, at);
    visit(text.substr(at, length));
    at += length;
  }
}

// The text with each single-byte character c replaced by map(c); two-byte
// characters are kept as they are.
template <class Map>
std::string MapSingleByteCharacters(std::string_view text, Map map) {
  std::string result;
  result.reserve(text.size());
  ForEachCharacter(text, [&](std::string_view character) {
    if (character.size() == 1) {
      result += map(character[0]);
    } else {
      result += character;
    }
  });
  return result;
}

// Every character whole: what a browser sends (names must be).
bool HasOnlyWholeCharacters(std::string_view text);
// A character of one byte that is one of the bytes (a trail byte never is).
bool HasSingleByteOf(std::string_view text, std::string_view bytes);

// ASCII case folding of the single-byte characters; the bytes of two-byte
// characters are left alone (81 41 and 81 61 are two characters, not one
// in two cases).
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// Every byte from 'A' to 'Z' lowered, trail bytes too: the folding of keys
// stored before folding walked characters; only to find what was stored so.
std::string LowerEveryByte(std::string_view text);
// Equal under the folding of AsciiLower; every other byte must match exactly.
bool EqualsFolded(std::string_view a, std::string_view b);
bool Contains(std::string_view text, std::string_view part);
// The text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);
// The longest start of the text that fits in limit bytes without splitting
// a character, nor a numeric character reference ("&#20320;").
std::string_view CutToCharacters(std::string_view text, size_t limit);

// The byte cleaning of user text before it is shown or recorded: '<' to
// '(', '>' to ')', '%' to '$', '&' to '-', and the node-record separators
// 0x05 and 0x06 to '-'.
std::string CleanUserText(std::string_view text);
// The same cleaning for what a user says, except that a numeric character
// reference to a printable character (foundation/character_reference.h)
// stays as it came: it is how a browser sends a character outside GBK.
std::string CleanChatText(std::string_view text);
