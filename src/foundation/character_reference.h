// Numeric character references ("&#20320;", "&#x1F600;"): how a browser
// sends, from a GB2312 page's form, a character the page's encoding cannot
// carry (emoji, hangul, half-width kana), and how every browser shows it
// again when it reaches a page as it came.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

inline constexpr size_t kMaxDecimalDigits = 7;  // "1114111", the last code point
inline constexpr size_t kMaxHexDigits = 6;      // "10FFFF"

struct NumericReference {
  size_t length = 0;      // bytes, from the '&' through the ';'
  char32_t codePoint = 0;
};

// The reference at the start of the text: "&#" and 1 to 7 decimal digits,
// or "&#x" (or "&#X") and 1 to 6 hex digits, then ';'. None when the text
// does not start with one (a missing ';' or too many digits included).
std::optional<NumericReference> ReadNumericReference(std::string_view text);

// A character a line may show through its reference: a code point beyond
// ASCII and its C1 controls (browsers send ASCII characters themselves, and
// "&#60;" would rebuild the '<' that cleaning takes out), not a surrogate,
// not a noncharacter, not a bidi embedding, override or isolate (they
// would turn around the rest of the line, the next speaker's name too),
// not a line or paragraph separator, and at most U+10FFFF.
bool IsPrintableCodePoint(char32_t codePoint);

// The length of a reference to a printable character at the start of the
// text; 0 when there is none.
size_t PrintableReferenceLength(std::string_view text);
