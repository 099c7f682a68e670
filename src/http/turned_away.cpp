#include "http/turned_away.h"

#include "html/page.h"

namespace {

// The status line, the head and a page of one line.
std::string ShortAnswer(std::string_view status, std::string_view extraHeaders, std::string_view text) {
  std::string answer = "HTTP/1.0 ";
  answer += status;
  answer += "\r\nContent-type: text/html; charset=gb2312\r\n";
  answer += kNoCache;
  answer += extraHeaders;
  answer += "\r\n<html><head>\r\n";
  answer += PageHead();
  answer += "</head><body><p>";
  answer += text;
  answer += "</p></body></html>\r\n";
  return answer;
}

}  // namespace

std::string TurnedAwayAnswer(std::string_view text) {
  return ShortAnswer("503 Service Unavailable", "Retry-After: 10\r\n", text);
}

std::string FailedRequestAnswer() { return ShortAnswer("500 Internal Server Error", "", kRequestFailedText); }
