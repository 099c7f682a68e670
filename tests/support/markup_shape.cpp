#include "support/markup_shape.h"

#include <cctype>

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

// What an attribute's value adds to the shape: the skeleton of its script.
std::string ValueShape(const std::string& name, const std::string& value) {
  const std::string lower = Lower(value);
  if (lower.rfind("javascript:", 0) == 0) return "=js:" + ScriptSkeleton(PercentDecoded(value.substr(11)));
  if (name.rfind("on", 0) == 0) return "=js:" + ScriptSkeleton(value);
  return "";
}

}  // namespace

std::string ScriptSkeleton(const std::string& code) {
  std::string out;
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c != '\'' && c != '"') {
      out += c;
      continue;
    }
    size_t j = i + 1;
    while (j < code.size() && code[j] != c) j += code[j] == '\\' ? 2 : 1;
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
