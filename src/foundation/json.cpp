#include "foundation/json.h"

#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "foundation/utf8.h"

const CJsonValue* CJsonValue::Find(std::string_view key) const {
  for (const Member& member : m_members) {
    if (member.key == key) return &member.value;
  }
  return nullptr;
}

// A recursive descent over the text; the first fault ends it.
class CJsonReader {
 public:
  explicit CJsonReader(std::string_view text) : m_text(text) {}

  std::optional<CJsonValue> ReadWhole() {
    CJsonValue value;
    SkipBlanks();
    if (!ReadValue(value, 0)) return std::nullopt;
    SkipBlanks();
    if (m_at != m_text.size()) return Fail("text after the value");
    return value;
  }

  std::string Error() const { return m_error + " at byte " + std::to_string(m_errorAt); }

 private:
  std::nullopt_t Fail(const char* why) {
    if (m_error.empty()) {
      m_error = why;
      m_errorAt = m_at;
    }
    return std::nullopt;
  }
  bool Failed(const char* why) {
    Fail(why);
    return false;
  }

  bool AtEnd() const { return m_at >= m_text.size(); }
  char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++m_at;
    return true;
  }
  bool TakeWord(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }
  void SkipBlanks() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_at;
  }

  bool ReadValue(CJsonValue& value, int depth) {
    if (depth >= kMaxJsonDepth) return Failed("nested too deep");
    switch (Peek()) {
      case '{': return ReadObject(value, depth);
      case '[': return ReadArray(value, depth);
      case '"':
        value.m_type = CJsonValue::Type::kString;
        return ReadString(value.m_string);
      case 't':
      case 'f':
        value.m_type = CJsonValue::Type::kBool;
        value.m_bool = Peek() == 't';
        return TakeWord(value.m_bool ? "true" : "false") || Failed("not a value");
      case 'n':
        return TakeWord("null") || Failed("not a value");
      default:
        value.m_type = CJsonValue::Type::kNumber;
        return ReadNumber(value.m_number);
    }
  }

  bool ReadObject(CJsonValue& value, int depth) {
    value.m_type = CJsonValue::Type::kObject;
    ++m_at;  // '{'
    SkipBlanks();
    if (Take('}')) return true;
    std::unordered_set<std::string> keys;  // a lookup a key: an object of many keys costs no more than its length
    while (true) {
      SkipBlanks();
      CJsonValue::Member member;
      if (Peek() != '"') return Failed("a key must be a string");
      if (!ReadString(member.key)) return false;
      if (!keys.insert(member.key).second) return Failed("a key said twice");
      SkipBlanks();
      if (!Take(':')) return Failed("':' expected");
      SkipBlanks();
      if (!ReadValue(member.value, depth + 1)) return false;
      value.m_members.push_back(std::move(member));
      SkipBlanks();
      if (Take('}')) return true;
      if (!Take(',')) return Failed("',' or '}' expected");
    }
  }

  bool ReadArray(CJsonValue& value, int depth) {
    value.m_type = CJsonValue::Type::kArray;
    ++m_at;  // '['
    SkipBlanks();
    if (Take(']')) return true;
    while (true) {
      SkipBlanks();
      value.m_items.emplace_back();
      if (!ReadValue(value.m_items.back(), depth + 1)) return false;
      SkipBlanks();
      if (Take(']')) return true;
      if (!Take(',')) return Failed("',' or ']' expected");
    }
  }

  bool ReadDigits() {
    const size_t start = m_at;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++m_at;
    return m_at > start;
  }

  bool ReadNumber(double& number) {
    const size_t start = m_at;
    Take('-');
    if (!Take('0') && !ReadDigits()) return Failed("not a value");
    if (Take('.') && !ReadDigits()) return Failed("digits expected after '.'");
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!ReadDigits()) return Failed("digits expected in the exponent");
    }
    const char* first = m_text.data() + start;
    const char* last = m_text.data() + m_at;
    const std::from_chars_result result = std::from_chars(first, last, number);
    if (result.ec != std::errc() || result.ptr != last) return Failed("a number beyond a double");
    return true;
  }

  // Four hex digits after "\u".
  bool ReadHex4(char32_t& unit) {
    if (m_text.size() - m_at < 4) return Failed("four hex digits expected");
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = m_text[m_at++];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return Failed("four hex digits expected");
      unit = unit << 4 | static_cast<char32_t>(digit);
    }
    return true;
  }

  // "\uXXXX", and for a high surrogate the low one that must follow.
  bool ReadUnicodeEscape(std::string& out) {
    char32_t unit = 0;
    if (!ReadHex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return Failed("a lone surrogate");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      char32_t low = 0;
      if (!TakeWord("\\u") || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) return Failed("a lone surrogate");
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, unit);
    return true;
  }

  bool ReadEscape(std::string& out) {
    if (AtEnd()) return Failed("an unfinished string");
    const char c = m_text[m_at++];
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': return ReadUnicodeEscape(out);
      default: return Failed("an unknown escape");
    }
  }

  bool ReadString(std::string& out) {
    ++m_at;  // the opening quote
    while (true) {
      if (AtEnd()) return Failed("an unfinished string");
      const unsigned char c = static_cast<unsigned char>(m_text[m_at]);
      if (c == '"') {
        ++m_at;
        return true;
      }
      if (c < 0x20) return Failed("a control character in a string");
      if (c == '\\') {
        ++m_at;
        if (!ReadEscape(out)) return false;
        continue;
      }
      const Utf8Character character = ReadUtf8Character(m_text, m_at);
      if (!character.valid) return Failed("no UTF-8");
      out.append(m_text.substr(m_at, character.length));
      m_at += character.length;
    }
  }

  std::string_view m_text;
  size_t m_at = 0;
  std::string m_error;
  size_t m_errorAt = 0;
};

std::optional<CJsonValue> ParseJson(std::string_view text, std::string* error) {
  CJsonReader reader(text);
  std::optional<CJsonValue> value = reader.ReadWhole();
  if (!value && error != nullptr) *error = reader.Error();
  return value;
}

void CJsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (!m_empty.empty()) {
    if (!m_empty.back()) m_text += ',';
    m_empty.back() = false;
  }
}

void CJsonWriter::Open(char bracket) {
  BeforeValue();
  m_text += bracket;
  m_empty.push_back(true);
}

void CJsonWriter::Close(char bracket) {
  m_text += bracket;
  if (!m_empty.empty()) m_empty.pop_back();
}

CJsonWriter& CJsonWriter::BeginObject() {
  Open('{');
  return *this;
}
CJsonWriter& CJsonWriter::EndObject() {
  Close('}');
  return *this;
}
CJsonWriter& CJsonWriter::BeginArray() {
  Open('[');
  return *this;
}
CJsonWriter& CJsonWriter::EndArray() {
  Close(']');
  return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view key) {
  BeforeValue();
  Quoted(key);
  m_text += ':';
  m_afterKey = true;
  return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view utf8) {
  BeforeValue();
  Quoted(utf8);
  return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
  BeforeValue();
  m_text += value ? "true" : "false";
  return *this;
}

CJsonWriter& CJsonWriter::Number(long long value) {
  BeforeValue();
  m_text += std::to_string(value);
  return *this;
}

CJsonWriter& CJsonWriter::Null() {
  BeforeValue();
  m_text += "null";
  return *this;
}

void CJsonWriter::Quoted(std::string_view utf8) {
  m_text += '"';
  for (size_t at = 0; at < utf8.size();) {
    const Utf8Character character = ReadUtf8Character(utf8, at);
    const char32_t c = character.codePoint;
    if (!character.valid) {
      AppendUtf8(m_text, kReplacementCharacter);
    } else if (c == '"' || c == '\\') {
      m_text += '\\';
      m_text += static_cast<char>(c);
    } else if (c == '\n') {
      m_text += "\\n";
    } else if (c == '\r') {
      m_text += "\\r";
    } else if (c == '\t') {
      m_text += "\\t";
    } else if (c < 0x20 || c == 0x2028 || c == 0x2029) {
      // Controls, and the two separators that end a line in a javascript source.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      m_text += escape;
    } else {
      m_text.append(utf8.substr(at, character.length));
    }
    at += character.length;
  }
  m_text += '"';
}
