#include "api/api_input.h"

#include "foundation/gbk_utf8.h"

std::optional<CApiInput> CApiInput::FromBody(std::string_view body) {
  std::optional<CJsonValue> value = ParseJson(body);
  if (!value || !value->Is(CJsonValue::Type::kObject)) return std::nullopt;
  CApiInput input;
  input.m_body = std::move(value);
  return input;
}

CApiInput CApiInput::FromQuery(std::string_view query) {
  CApiInput input;
  input.m_query.SetQuery(std::string(query).c_str());
  return input;
}

void CApiInput::Note(ApiError fault) {
  if (!m_fault) m_fault = fault;
}

std::optional<std::string> CApiInput::Raw(std::string_view key, Presence presence) {
  std::optional<std::string> text;
  if (m_body) {
    if (const CJsonValue* value = m_body->Find(key)) {
      if (value->Is(CJsonValue::Type::kString)) {
        text = value->AsString();
      } else if (!value->Is(CJsonValue::Type::kNull)) {
        Note(ApiError::kBadRequest);
        return std::nullopt;
      }
    }
  } else if (m_query.HasField(key)) {
    text = m_query.FindField(key);
  }
  if (!text) {
    if (presence == Presence::kRequired) Note(ApiError::kBadRequest);
    return std::nullopt;
  }
  // A NUL would end the text wherever the chat reads it as a C string.
  if (text->find('\0') != std::string::npos) {
    Note(ApiError::kBadRequest);
    return std::nullopt;
  }
  return text;
}

std::string CApiInput::Text(std::string_view key, Presence presence, std::string_view fallback) {
  const std::optional<std::string> text = Raw(key, presence);
  return text ? GbkFromUtf8(*text) : std::string(fallback);
}

std::string CApiInput::Name(std::string_view key, Presence presence, ApiError outsideGbk, std::string_view fallback) {
  const std::optional<std::string> text = Raw(key, presence);
  if (!text) return std::string(fallback);
  std::optional<std::string> name = GbkFromUtf8Exactly(*text);
  if (!name) {
    Note(outsideGbk);
    return {};
  }
  return std::move(*name);
}

bool CApiInput::Flag(std::string_view key, bool fallback) {
  if (m_body) {
    const CJsonValue* value = m_body->Find(key);
    if (value == nullptr || value->Is(CJsonValue::Type::kNull)) return fallback;
    if (value->Is(CJsonValue::Type::kBool)) return value->AsBool();
    Note(ApiError::kBadRequest);
    return fallback;
  }
  if (!m_query.HasField(key)) return fallback;
  const std::string& text = m_query.FindField(key);
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  Note(ApiError::kBadRequest);
  return fallback;
}
