#include "foundation/text.h"

#include <optional>

#include "foundation/character_reference.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

char CleanByte(char c) {
  switch (c) {
    case '<': return '(';
    case '>': return ')';
    case '%': return '$';
    case '&':
    case '\x05':
    case '\x06': return '-';
    default: return c;
  }
}

// The length of the unit that starts at position at: a numeric character
// reference, or a character.
size_t UnitLength(std::string_view text, size_t at) {
  if (text[at] == '&') {
    if (const std::optional<NumericReference> reference = ReadNumericReference(text.substr(at))) {
      return reference->length;
    }
  }
  return CharacterLength(text, at);
}

}  // namespace

bool IsGbkLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

bool IsGbkTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

size_t CharacterLength(std::string_view text, size_t at) {
  return IsGbkLead(Byte(text[at])) && at + 1 < text.size() && IsGbkTrail(Byte(text[at + 1])) ? 2 : 1;
}

bool IsWholeCharacter(std::string_view character) {
  return character.size() == 2 || (character.size() == 1 && !IsGbkLead(Byte(character[0])) && Byte(character[0]) != 0xFF);
}

bool HasOnlyWholeCharacters(std::string_view text) {
  bool whole = true;
  ForEachCharacter(text, [&whole](std::string_view character) { whole = whole && IsWholeCharacter(character); });
  return whole;
}

bool HasSingleByteOf(std::string_view text, std::string_view bytes) {
  bool found = false;
  ForEachCharacter(text, [&](std::string_view character) {
    found = found || (character.size() == 1 && bytes.find(character[0]) != std::string_view::npos);
  });
  return found;
}

std::string AsciiLower(std::string_view text) { return MapSingleByteCharacters(text, Lower); }

std::string AsciiUpper(std::string_view text) { return MapSingleByteCharacters(text, Upper); }

std::string LowerEveryByte(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Lower(c);
  return result;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Folding changes only ASCII letters, which are never lead bytes, so both
  // texts fold alike exactly when their characters do.
  for (size_t at = 0; at < a.size();) {
    const size_t length = CharacterLength(a, at);
    if (length == 1 ? Lower(a[at]) != Lower(b[at]) : a.substr(at, 2) != b.substr(at, 2)) return false;
    at += length;
  }
  return true;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string_view TrimBlanks(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::string_view CutToCharacters(std::string_view text, size_t limit) {
  size_t end = 0;
  while (end < text.size()) {
    const size_t length = UnitLength(text, end);
    if (end + length > limit) break;
    end += length;
  }
  return text.substr(0, end);
}

std::string CleanUserText(std::string_view text) { return MapSingleByteCharacters(text, CleanByte); }

std::string CleanChatText(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    if (const size_t reference = text[at] == '&' ? PrintableReferenceLength(text.substr(at)) : 0) {
      cleaned += text.substr(at, reference);
      at += reference;
      continue;
    }
    const size_t length = CharacterLength(text, at);
    if (length == 1) {
      cleaned += CleanByte(text[at]);
    } else {
      cleaned += text.substr(at, length);
    }
    at += length;
  }
  return cleaned;
}
