#include "html/escape.h"

#include "foundation/text.h"

namespace {

const char kHex[] = "0123456789abcdef";

// Walks the text's characters (foundation/text.h): a two-byte character is
// copied whole; replace may write a single-byte one otherwise.
template <class Replace>
std::string Rewrite(std::string_view text, Replace replace) {
  std::string out;
  out.reserve(text.size());
  ForEachCharacter(text, [&](std::string_view character) {
    if (character.size() == 2 || !replace(character, out)) out += character;
  });
  return out;
}

bool ReferenceFor(std::string_view character, std::string& out) {
  switch (character[0]) {
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    case '\'': out += "&#39;"; return true;
    default: return false;
  }
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A single-byte character that must be written as its code: a control, one
// of the unsafe bytes, or a byte that is no whole character (a lead byte
// without its trail, 0xFF), which written bare could pair with the escape
// after it or show as something else when the browser sends it back.
bool NeedsCode(std::string_view character, std::string_view unsafe) {
  const unsigned char c = static_cast<unsigned char>(character[0]);
  return IsControl(c) || !IsWholeCharacter(character) || unsafe.find(character[0]) != std::string_view::npos;
}

void Hex(std::string_view character, std::string& out) {
  const unsigned char c = static_cast<unsigned char>(character[0]);
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

}  // namespace

std::string EscapeText(std::string_view text) { return Rewrite(text, ReferenceFor); }

std::string EscapeAttribute(std::string_view text) { return Rewrite(text, ReferenceFor); }

std::string EscapeJsString(std::string_view text) {
  return Rewrite(text, [](std::string_view character, std::string& out) {
    if (!NeedsCode(character, "'\"\\ <>&=%`")) return false;
    out += "\\x";
    Hex(character, out);
    return true;
  });
}

std::string EscapeUrlComponent(std::string_view text) {
  return Rewrite(text, [](std::string_view character, std::string& out) {
    if (!NeedsCode(character, " \"'<>&#%+;\\`")) return false;
    out += '%';
    Hex(character, out);
    return true;
  });
}

namespace {

struct NamedReference {
  std::string_view name;
  char character;
};
constexpr NamedReference kNamedReferences[] = {{"&lt;", '<'},  {"&gt;", '>'},   {"&quot;", '"'},
                                               {"&#39;", '\''}, {"&nbsp;", ' '}, {"&amp;", '&'}};

}  // namespace

std::string PlainTextOf(std::string_view markup) {
  std::string plain;
  plain.reserve(markup.size());
  size_t at = 0;
  while (at < markup.size()) {
    const char c = markup[at];
    if (c == '<') {
      const size_t end = markup.find('>', at);
      if (end == std::string_view::npos) break;  // a tag cut off by the line's limit
      at = end + 1;
      continue;
    }
    bool named = false;
    if (c == '&') {
      for (const NamedReference& reference : kNamedReferences) {
        if (markup.substr(at, reference.name.size()) == reference.name) {
          plain += reference.character;
          at += reference.name.size();
          named = true;
          break;
        }
      }
    }
    if (named) continue;
    plain += c;
    ++at;
  }
  return plain;
}
