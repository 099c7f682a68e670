#include "foundation/text.h"

#include <algorithm>

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Lower(c);
  return result;
}

std::string AsciiUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Upper(c);
  return result;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
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
    const size_t width = static_cast<unsigned char>(text[end]) >= 0x80 ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return text.substr(0, std::min(end, text.size()));
}

std::string CleanUserText(std::string_view text) {
  std::string cleaned(text);
  for (char& c : cleaned) {
    switch (c) {
      case '<': c = '('; break;
      case '>': c = ')'; break;
      case '%': c = '$'; break;
      case '&':
      case '\x05':
      case '\x06': c = '-'; break;
      default: break;
    }
  }
  return cleaned;
}
