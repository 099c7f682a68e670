#include "api/api_answer.h"

void AnswerJson(CPage& page, int status, const CJsonWriter& json) {
  TypedAnswer answer;
  answer.status = status;
  answer.contentType = kJsonContentType;
  answer.body = json.Text();
  page.SetTypedAnswer(std::move(answer));
}

void AnswerNoContent(CPage& page) {
  TypedAnswer answer;
  answer.status = 204;
  page.SetTypedAnswer(std::move(answer));
}

void AnswerError(CPage& page, ApiError error) {
  const ApiErrorInfo& info = InfoOf(error);
  CJsonWriter json;
  json.BeginObject().Key("error").BeginObject();
  json.Key("code").String(info.code).Key("text").String(Utf8(info.text));
  json.EndObject().EndObject();
  AnswerJson(page, info.status, json);
}
