#include "html/escape.h"

namespace {

const char kHex[] = "0123456789abcdef";

template <class Replace>
std::string Rewrite(std::string_view text, Replace replace) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!replace(static_cast<unsigned char>(c), out)) out += c;
  }
  return out;
}

bool ReferenceFor(unsigned char c, std::string& out) {
  switch (c) {
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    case '\'': out += "&#39;"; return true;
    default: return false;
  }
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void Hex(unsigned char c, std::string& out) {
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

}  // namespace

std::string EscapeText(std::string_view text) { return Rewrite(text, ReferenceFor); }

std::string EscapeAttribute(std::string_view text) { return Rewrite(text, ReferenceFor); }

std::string EscapeJsString(std::string_view text) {
  return Rewrite(text, [](unsigned char c, std::string& out) {
    static constexpr std::string_view kUnsafe = "'\"\\ <>&=%`";
    if (!IsControl(c) && kUnsafe.find(static_cast<char>(c)) == std::string_view::npos) return false;
    out += "\\x";
    Hex(c, out);
    return true;
  });
}

std::string EscapeUrlComponent(std::string_view text) {
  return Rewrite(text, [](unsigned char c, std::string& out) {
    static constexpr std::string_view kUnsafe = " \"'<>&#%+;\\`";
    if (!IsControl(c) && kUnsafe.find(static_cast<char>(c)) == std::string_view::npos) return false;
    out += '%';
    Hex(c, out);
    return true;
  });
}
