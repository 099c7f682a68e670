#include "support/markup_shape.h"

#include <cctype>
#include <map>
#include <regex>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A link's address is percent-decoded before its script runs.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// An attribute's value as the browser hands it on: its character
// references to ASCII characters decoded (numeric ones and the five named
// ones the escapers write).
std::string ReferencesDecoded(const std::string& text) {
  static const std::regex reference("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|amp|lt|gt|quot|apos);");
  static const std::map<std::string, char> named = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  auto last = text.cbegin();
  for (auto match = std::sregex_iterator(text.begin(), text.end(), reference); match != std::sregex_iterator();
       ++match) {
    const std::string body = (*match)[1].str();
    long code = -1;
    if (body[0] != '#') {
      code = named.at(body);
    } else {
      code = std::stol(body.substr(body[1] == 'x' || body[1] == 'X' ? 2 : 1), nullptr, std::isdigit(body[1]) ? 10 : 16);
    }
    out.append(last, (*match)[0].first);
    out += code < 0x80 ? std::string(1, static_cast<char>(code)) : (*match)[0].str();
    last = (*match)[0].second;
  }
  out.append(last, text.cend());
  return out;
}

// What an attribute's value adds to the shape: the skeleton of its script.
std::string ValueShape(const std::string& name, const std::string& rawValue) {
  const std::string value = ReferencesDecoded(rawValue);
  const std::string lower = Lower(value);
  if (lower.rfind("javascript:", 0) == 0) return "=js:" + ScriptSkeleton(PercentDecoded(value.substr(11)));
  if (name.rfind("on", 0) == 0) return "=js:" + ScriptSkeleton(value);
  return "";
}

// A browser reads a GBK lead byte and the trail byte after it as one
// character: a trail byte is never a quote or a backslash of a script.
size_t CharacterLength(const std::string& text, size_t at) {
  if (at + 1 >= text.size()) return 1;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const bool lead = byte(at) >= 0x81 && byte(at) <= 0xFE;
  return lead && byte(at + 1) >= 0x40 && byte(at + 1) <= 0xFE && byte(at + 1) != 0x7F ? 2 : 1;
}

}  // namespace

std::string ScriptSkeleton(const std::string& code) {
  std::string out;
  for (size_t i = 0; i < code.size(); i += CharacterLength(code, i)) {
    const char c = code[i];
    if (c != '\'' && c != '"') {
      out += code.substr(i, CharacterLength(code, i));
      continue;
    }
    size_t j = i + 1;
    while (j < code.size() && code[j] != c) j += code[j] == '\\' ? 2 : CharacterLength(code, j);
    out += "S";
    i = j;
  }
  return out;
}

std::vector<std::string> MarkupShape(const std::string& html) {
  std::vector<std::string> shape;
  size_t i = 0;
  const size_t n = html.size();
  while (i < n) {
    if (html[i] != '<' || i + 1 >= n ||
        !(std::isalpha(static_cast<unsigned char>(html[i + 1])) || html[i + 1] == '/' || html[i + 1] == '!')) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    std::string tag;
    while (j < n && !IsSpace(html[j]) && html[j] != '>') tag += html[j++];
    std::string entry = Lower(tag) + "(";
    while (j < n && html[j] != '>') {
      while (j < n && (IsSpace(html[j]) || html[j] == '/')) ++j;
      if (j >= n || html[j] == '>') break;
      std::string name;
      while (j < n && !IsSpace(html[j]) && html[j] != '=' && html[j] != '>') name += html[j++];
      while (j < n && IsSpace(html[j])) ++j;
      std::string value;
      if (j < n && html[j] == '=') {
        ++j;
        while (j < n && IsSpace(html[j])) ++j;
        if (j < n && (html[j] == '"' || html[j] == '\'')) {
          const char quote = html[j++];
          while (j < n && html[j] != quote) value += html[j++];
          if (j < n) ++j;
        } else {
          while (j < n && !IsSpace(html[j]) && html[j] != '>') value += html[j++];
        }
      }
      entry += Lower(name) + ValueShape(Lower(name), value) + ",";
    }
    shape.push_back(entry + ")");
    i = j + 1;
  }
  return shape;
}
