#include "foundation/character_reference.h"

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Within(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

}  // namespace

std::optional<NumericReference> ReadNumericReference(std::string_view text) {
  if (text.size() < 3 || text[0] != '&' || text[1] != '#') return std::nullopt;
  const bool hex = text[2] == 'x' || text[2] == 'X';
  const int base = hex ? 16 : 10;
  const size_t maxDigits = hex ? kMaxHexDigits : kMaxDecimalDigits;
  size_t at = hex ? 3 : 2;
  const size_t firstDigit = at;
  char32_t value = 0;
  for (; at < text.size() && DigitValue(text[at], base) >= 0; ++at) {
    if (at - firstDigit == maxDigits) return std::nullopt;
    value = value * static_cast<char32_t>(base) + static_cast<char32_t>(DigitValue(text[at], base));
  }
  if (at == firstDigit || at == text.size() || text[at] != ';') return std::nullopt;
  return NumericReference{at + 1, value};
}

bool IsPrintableCodePoint(char32_t c) {
  if (c < 0xA0 || c > kLastCodePoint) return false;  // ASCII, the C1 controls, beyond Unicode
  if (Within(c, 0xD800, 0xDFFF)) return false;         // surrogates
  if (Within(c, 0xFDD0, 0xFDEF) || (c & 0xFFFE) == 0xFFFE) return false;  // noncharacters
  if (Within(c, 0x202A, 0x202E) || Within(c, 0x2066, 0x2069)) return false;  // bidi embeddings, overrides, isolates
  return c != 0x2028 && c != 0x2029;  // line and paragraph separators
}

size_t PrintableReferenceLength(std::string_view text) {
  const std::optional<NumericReference> reference = ReadNumericReference(text);
  return reference && IsPrintableCodePoint(reference->codePoint) ? reference->length : 0;
}
