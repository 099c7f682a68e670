// The JSON API's answers, written into the request's page as a typed
// answer: JSON ("application/json; charset=utf-8") with a status, no
// content (204), or an error {"error": {"code", "text"}}. Text the chat
// keeps (GBK) goes into the JSON through Utf8().
#pragma once

#include <string>
#include <string_view>

#include "api/api_errors.h"
#include "foundation/gbk_utf8.h"
#include "foundation/json.h"
#include "html/page.h"

inline constexpr const char* kJsonContentType = "application/json; charset=utf-8";

inline std::string Utf8(std::string_view gbk) { return Utf8FromGbk(gbk); }

void AnswerJson(CPage& page, int status, const CJsonWriter& json);
void AnswerNoContent(CPage& page);
void AnswerError(CPage& page, ApiError error);
