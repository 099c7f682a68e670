#include "foundation/gbk_utf8.h"

#include <iconv.h>

#include <cstdint>
#include <vector>

#include "foundation/character_reference.h"
#include "foundation/text.h"
#include "foundation/utf8.h"
#include "platform/console.h"

namespace {

constexpr char32_t kEuroSign = 0x20AC;
constexpr unsigned char kEuroByte = 0x80;
constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kTrailsPerLead = 0xFF - kFirstTrail;  // 0x40 to 0xFE
constexpr unsigned kPairCount = (0xFF - kFirstLead) * kTrailsPerLead;
constexpr char32_t kBmpSize = 0x10000;

unsigned PairIndex(unsigned char lead, unsigned char trail) {
  return (lead - kFirstLead) * kTrailsPerLead + (trail - kFirstTrail);
}

// The two-byte area both ways: read once, then shared by every thread.
class CGbkTables {
 public:
  CGbkTables() : m_toUnicode(kPairCount, 0), m_toGbk(kBmpSize, 0) {
    iconv_t decoder = iconv_open("UTF-8", "GB18030");
    if (decoder == reinterpret_cast<iconv_t>(-1)) {
      platform::ConsoleWrite("iconv has no GB18030: characters beyond ASCII cannot be converted\n");
      return;
    }
    for (unsigned lead = kFirstLead; lead <= 0xFE; ++lead) {
      for (unsigned trail = kFirstTrail; trail <= 0xFE; ++trail) {
        if (IsGbkTrail(static_cast<unsigned char>(trail))) Learn(decoder, lead, trail);
      }
    }
    iconv_close(decoder);
    m_toGbk[kEuroSign] = kEuroByte;  // as browsers send it, not as A2 E3
  }

  // 0 when the pair is no character.
  char32_t ToUnicode(unsigned char lead, unsigned char trail) const { return m_toUnicode[PairIndex(lead, trail)]; }
  // The GBK bytes as one number (lead << 8 | trail, or a single byte); 0 when none.
  std::uint16_t ToGbk(char32_t c) const { return c < kBmpSize ? m_toGbk[c] : 0; }

 private:
  void Learn(iconv_t decoder, unsigned lead, unsigned trail) {
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char out[8];
    char* inAt = in;
    char* outAt = out;
    size_t inLeft = sizeof in;
    size_t outLeft = sizeof out;
    if (iconv(decoder, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1)) {
      iconv(decoder, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return;
    }
    const std::string_view utf8(out, static_cast<size_t>(outAt - out));
    if (utf8.empty()) return;
    const Utf8Character character = ReadUtf8Character(utf8, 0);
    const char32_t c = character.codePoint;
    if (!character.valid || character.length != utf8.size() || c < 0x80 || c >= kBmpSize) return;
    m_toUnicode[PairIndex(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))] = c;
    if (m_toGbk[c] == 0) m_toGbk[c] = static_cast<std::uint16_t>(lead << 8 | trail);  // the first pair of a character
  }

  std::vector<char32_t> m_toUnicode;
  std::vector<std::uint16_t> m_toGbk;
};

const CGbkTables& Tables() {
  static const CGbkTables tables;
  return tables;
}

void AppendReference(std::string& out, char32_t c) { out += "&#" + std::to_string(c) + ";"; }

// Converts; false at the first character that needs a reference when exactly is set.
bool Convert(std::string_view utf8, bool exactly, std::string& out) {
  const CGbkTables& tables = Tables();
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const Utf8Character character = ReadUtf8Character(utf8, at);
    at += character.length;
    if (!character.valid && exactly) return false;
    if (character.codePoint < 0x80) {
      out += static_cast<char>(character.codePoint);
      continue;
    }
    const std::uint16_t gbk = tables.ToGbk(character.codePoint);
    if (gbk == 0) {
      if (exactly) return false;
      AppendReference(out, character.codePoint);
    } else if (gbk < 0x100) {
      out += static_cast<char>(gbk);
    } else {
      out += static_cast<char>(gbk >> 8);
      out += static_cast<char>(gbk & 0xFF);
    }
  }
  return true;
}

}  // namespace

std::string GbkFromUtf8(std::string_view utf8) {
  std::string gbk;
  Convert(utf8, false, gbk);
  return gbk;
}

std::optional<std::string> GbkFromUtf8Exactly(std::string_view utf8) {
  std::string gbk;
  if (!Convert(utf8, true, gbk)) return std::nullopt;
  return gbk;
}

std::string Utf8FromGbk(std::string_view gbk) {
  const CGbkTables& tables = Tables();
  std::string utf8;
  utf8.reserve(gbk.size() + gbk.size() / 2);
  for (size_t at = 0; at < gbk.size();) {
    const unsigned char byte = static_cast<unsigned char>(gbk[at]);
    if (CharacterLength(gbk, at) == 2) {
      const char32_t c = tables.ToUnicode(byte, static_cast<unsigned char>(gbk[at + 1]));
      AppendUtf8(utf8, c != 0 ? c : kReplacementCharacter);
      at += 2;
    } else if (byte == '&') {
      const std::optional<NumericReference> reference = ReadNumericReference(gbk.substr(at));
      if (reference && IsPrintableCodePoint(reference->codePoint)) {
        AppendUtf8(utf8, reference->codePoint);
        at += reference->length;
      } else {
        utf8 += '&';
        ++at;
      }
    } else {
      if (byte < 0x80) {
        utf8 += static_cast<char>(byte);
      } else {
        AppendUtf8(utf8, byte == kEuroByte ? kEuroSign : kReplacementCharacter);
      }
      ++at;
    }
  }
  return utf8;
}
