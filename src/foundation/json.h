// JSON (RFC 8259) as the API reads and writes it. The reader takes UTF-8
// text holding one value and refuses everything else: invalid UTF-8, a lone
// surrogate, a control character inside a string, a key said twice in one
// object, nesting deeper than kMaxJsonDepth, a number beyond a double, text
// after the value. The writer escapes what a string must and writes valid
// UTF-8 only (a byte that is no UTF-8 becomes U+FFFD).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMaxJsonDepth = 32;

class CJsonValue {
 public:
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  struct Member;

  Type GetType() const { return m_type; }
  bool Is(Type type) const { return m_type == type; }
  bool AsBool() const { return m_bool; }
  double AsNumber() const { return m_number; }
  const std::string& AsString() const { return m_string; }
  const std::vector<CJsonValue>& Items() const { return m_items; }
  const std::vector<Member>& Members() const { return m_members; }
  // The member of an object; null when it has none (or this is no object).
  const CJsonValue* Find(std::string_view key) const;

 private:
  friend class CJsonReader;

  Type m_type = Type::kNull;
  bool m_bool = false;
  double m_number = 0;
  std::string m_string;
  std::vector<CJsonValue> m_items;
  std::vector<Member> m_members;
};

struct CJsonValue::Member {
  std::string key;
  CJsonValue value;
};

// The value of the whole text; none when it is no JSON (error, when given,
// says why and where, for the console).
std::optional<CJsonValue> ParseJson(std::string_view text, std::string* error = nullptr);

class CJsonWriter {
 public:
  CJsonWriter& BeginObject();
  CJsonWriter& EndObject();
  CJsonWriter& BeginArray();
  CJsonWriter& EndArray();
  // The key of the open object's next member; its value follows.
  CJsonWriter& Key(std::string_view key);
  CJsonWriter& String(std::string_view utf8);
  CJsonWriter& Bool(bool value);
  CJsonWriter& Number(long long value);
  CJsonWriter& Null();

  const std::string& Text() const { return m_text; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void Quoted(std::string_view utf8);

  std::string m_text;
  std::vector<bool> m_empty;  // per open object or array: nothing written in it yet
  bool m_afterKey = false;
};
