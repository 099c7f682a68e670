// The JSON reader on arbitrary bytes, and the writer on what it read: a
// value read and written again reads back as the same value, and whatever
// bytes a string is given, the writer's text is JSON that reads back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/json.h"
#include "foundation/utf8.h"
#include "fuzz/fuzz_check.h"

namespace {

// Numbers are written as whole numbers only (all the API writes): a number
// that is none is written as null.
void Write(const CJsonValue& value, CJsonWriter& json) {
  switch (value.GetType()) {
    case CJsonValue::Type::kNull: json.Null(); break;
    case CJsonValue::Type::kBool: json.Bool(value.AsBool()); break;
    case CJsonValue::Type::kString: json.String(value.AsString()); break;
    case CJsonValue::Type::kNumber: {
      const double number = value.AsNumber();
      const bool whole = number >= -1e15 && number <= 1e15 && number == static_cast<double>(static_cast<long long>(number));
      whole ? json.Number(static_cast<long long>(number)) : json.Null();
      break;
    }
    case CJsonValue::Type::kArray:
      json.BeginArray();
      for (const CJsonValue& item : value.Items()) Write(item, json);
      json.EndArray();
      break;
    case CJsonValue::Type::kObject:
      json.BeginObject();
      for (const CJsonValue::Member& member : value.Members()) {
        json.Key(member.key);
        Write(member.value, json);
      }
      json.EndObject();
      break;
  }
}

// The same value, numbers aside (compared as written).
bool Same(const CJsonValue& a, const CJsonValue& b) {
  if (a.GetType() == CJsonValue::Type::kNumber) return true;
  if (a.GetType() != b.GetType()) return false;
  switch (a.GetType()) {
    case CJsonValue::Type::kBool: return a.AsBool() == b.AsBool();
    case CJsonValue::Type::kString: return a.AsString() == b.AsString();
    case CJsonValue::Type::kArray:
      if (a.Items().size() != b.Items().size()) return false;
      for (size_t i = 0; i < a.Items().size(); ++i) {
        if (!Same(a.Items()[i], b.Items()[i])) return false;
      }
      return true;
    case CJsonValue::Type::kObject:
      if (a.Members().size() != b.Members().size()) return false;
      for (size_t i = 0; i < a.Members().size(); ++i) {
        if (a.Members()[i].key != b.Members()[i].key || !Same(a.Members()[i].value, b.Members()[i].value)) return false;
      }
      return true;
    default: return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const std::optional<CJsonValue> value = ParseJson(text)) {
    FUZZ_CHECK(IsValidUtf8(text));
    CJsonWriter json;
    Write(*value, json);
    const std::optional<CJsonValue> again = ParseJson(json.Text());
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(Same(*value, *again));
  }

  // Any bytes as a key and a string: the text is UTF-8 JSON, and valid
  // UTF-8 comes back as it went in.
  CJsonWriter json;
  json.BeginObject().Key(text).String(text).EndObject();
  FUZZ_CHECK(IsValidUtf8(json.Text()));
  const std::optional<CJsonValue> object = ParseJson(json.Text());
  FUZZ_CHECK(object.has_value() && object->Members().size() == 1);
  const CJsonValue::Member& member = object->Members()[0];
  FUZZ_CHECK(member.key == member.value.AsString());
  FUZZ_CHECK(!IsValidUtf8(text) || member.key == text);
  // Nothing a javascript source would end a line at is left bare.
  FUZZ_CHECK(json.Text().find('\n') == std::string::npos && json.Text().find("\xE2\x80\xA8") == std::string::npos);
  return 0;
}
