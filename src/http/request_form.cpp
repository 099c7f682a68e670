#include "http/request_form.h"

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}
}  // namespace

std::string DecodeUrl(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%') {
      if (text.size() - i < 3) break;
      const char byte = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
      if (byte == '\0') break;
      if (byte != '\r') decoded += byte;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

std::vector<std::string> SplitFields(std::string_view text) {
  std::vector<std::string> fields;
  if (!text.empty() && text[0] == '&') text.remove_prefix(1);
  while (true) {
    const size_t end = text.find_first_of("&;");
    fields.push_back(DecodeUrl(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return fields;
}

void CRequestForm::Parse(const char* path, const char* query) {
  SetPath(path);
  SetQuery(query);
}

void CRequestForm::SetPath(const char* path) {
  if (path != nullptr) m_path = path;
}

void CRequestForm::SetQuery(const char* query) {
  if (query == nullptr) return;
  m_query = query;
  m_fields = SplitFields(*m_query);
  m_values.clear();
  for (const std::string& field : m_fields) {
    const size_t equals = field.find('=');
    m_values.push_back(equals == std::string::npos ? NamedValue{field, ""}
                                                   : NamedValue{field.substr(0, equals), field.substr(equals + 1)});
  }
}

void CRequestForm::AddField(std::string_view name, std::string_view value) {
  std::string kept;
  for (char c : value.substr(0, value.find('\0'))) {
    if (c != '\r') kept += c;
  }
  m_fields.push_back(std::string(name) + "=" + kept);
  m_values.push_back(NamedValue{std::string(name), std::move(kept)});
}

const std::string& CRequestForm::FindField(std::string_view name) const {
  static const std::string kEmpty;
  for (const NamedValue& field : m_values) {
    if (field.name == name) return field.value;
  }
  return kEmpty;
}

bool CRequestForm::HasField(std::string_view name) const {
  for (const NamedValue& field : m_values) {
    if (field.name == name) return true;
  }
  return false;
}
