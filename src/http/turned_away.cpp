#include "http/turned_away.h"

#include "html/page.h"

std::string TurnedAwayAnswer(std::string_view text) {
  std::string answer = "HTTP/1.0 503 Service Unavailable\r\nContent-type: text/html; charset=gb2312\r\n";
  answer += kNoCache;
  answer += "Retry-After: 10\r\n\r\n<html><head>\r\n";
  answer += PageHead();
  answer += "</head><body><p>";
  answer += text;
  answer += "</p></body></html>\r\n";
  return answer;
}
