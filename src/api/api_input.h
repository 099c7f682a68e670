// What an API request gives: the members of its JSON body (a POST: one
// object) or the fields of its query (a GET), read as the chat keeps text:
// UTF-8 turned into GBK (foundation/gbk_utf8.h). Reading a field that is
// missing when required, of the wrong type, or holding a NUL notes a fault;
// the call answers the first fault once it has read what it needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "api/api_errors.h"
#include "foundation/json.h"
#include "http/request_form.h"

class CApiInput {
 public:
  enum class Presence { kOptional, kRequired };

  // None when the body is no JSON object.
  static std::optional<CApiInput> FromBody(std::string_view body);
  static CApiInput FromQuery(std::string_view query);

  // A text: characters outside GBK become numeric references, as a
  // browser's GB2312 form sends them. fallback when the field is absent.
  std::string Text(std::string_view key, Presence presence, std::string_view fallback = "");
  // A name (of a user or a room): only characters GBK holds; another notes
  // the fault outsideGbk. fallback when the field is absent.
  std::string Name(std::string_view key, Presence presence, ApiError outsideGbk, std::string_view fallback = "");
  // true or false; fallback when the field is absent.
  bool Flag(std::string_view key, bool fallback);

  // The first fault met; none when every field read well.
  const std::optional<ApiError>& Fault() const { return m_fault; }

 private:
  // The field's UTF-8 text; none when it is absent (or a fault was noted).
  std::optional<std::string> Raw(std::string_view key, Presence presence);
  void Note(ApiError fault);

  std::optional<CJsonValue> m_body;
  CRequestForm m_query;
  std::optional<ApiError> m_fault;
};
