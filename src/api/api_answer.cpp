#include "api/api_answer.h"

void AnswerJson(CPage& page, int status, const CJsonWriter& json) {
  page.SetTypedAnswer(TypedAnswer{status, kJsonContentType, json.Text()});
}

void AnswerNoContent(CPage& page) { page.SetTypedAnswer(TypedAnswer{204, "", ""}); }

void AnswerError(CPage& page, ApiError error) {
  const ApiErrorInfo& info = InfoOf(error);
  CJsonWriter json;
  json.BeginObject().Key("error").BeginObject();
  json.Key("code").String(info.code).Key("text").String(Utf8(info.text));
  json.EndObject().EndObject();
  AnswerJson(page, info.status, json);
}
