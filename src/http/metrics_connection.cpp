#include "http/metrics_connection.h"

#include <string>

#include "platform/clock.h"

namespace {

std::string Answer(const char* status, const char* contentType, const std::string& body) {
  return std::string("HTTP/1.0 ") + status + "\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

void CMetricsConnection::OnStart(net::CConnection& connection) {
  connection.MarkRequestArrived();  // not one to shed when descriptors run short
  connection.SetDeadline(platform::Now() + kMetricsRequestSeconds);
}

void CMetricsConnection::OnInput(net::CConnection& connection) {
  std::string& input = connection.Input();
  if (m_answered) {
    input.clear();
    return;
  }
  input.erase(0, m_parser.Feed(input));
  if (m_parser.Refused()) {
    connection.Close();
  } else if (m_parser.Complete()) {
    input.clear();
    connection.SetReading(false);
    m_answered = true;
    Answer(connection, m_parser.Request());
  }
}

void CMetricsConnection::Answer(net::CConnection& connection, const ParsedRequest& request) {
  if (request.method == kGet && request.path == kMetricsPath) {
    connection.Send(::Answer("200 OK", kMetricsContentType, m_metrics.Render()));
  } else {
    connection.Send(::Answer("404 Not Found", "text/plain; charset=utf-8", "Only GET /metrics is served here.\n"));
  }
}

void CMetricsConnection::OnDrained(net::CConnection& connection) {
  if (m_answered) connection.Close();
}
