#include "foundation/utf8.h"

#include <optional>

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// What a lead byte of two, three or four bytes says.
struct Form {
  size_t length;
  char32_t leadBits;
  char32_t least;  // the smallest code point of this length (no overlong forms)
};

std::optional<Form> FormOf(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return Form{2, static_cast<char32_t>(lead & 0x1F), 0x80};
  if ((lead & 0xF0) == 0xE0) return Form{3, static_cast<char32_t>(lead & 0x0F), 0x800};
  if ((lead & 0xF8) == 0xF0) return Form{4, static_cast<char32_t>(lead & 0x07), 0x10000};
  return std::nullopt;
}

}  // namespace

Utf8Character ReadUtf8Character(std::string_view text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1, true};
  const std::optional<Form> form = FormOf(lead);
  if (!form || text.size() - at < form->length) return {};
  char32_t value = form->leadBits;
  for (size_t i = 1; i < form->length; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(byte)) return {};
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < form->least || value > kLastCodePoint || IsSurrogate(value)) return {};
  return {value, form->length, true};
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const Utf8Character character = ReadUtf8Character(text, at);
    if (!character.valid) return false;
    at += character.length;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c > kLastCodePoint || IsSurrogate(c)) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}
