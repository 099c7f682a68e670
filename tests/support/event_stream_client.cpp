#include "support/event_stream_client.h"

#include <unistd.h>

#include <regex>
#include <sstream>

#include "support/http_client.h"
#include "support/server_process.h"

std::vector<Event> Events(const std::string& text) {
  std::vector<Event> events;
  size_t at = text.find("\r\n\r\n");
  at = at == std::string::npos ? 0 : at + 4;
  while (at < text.size()) {
    const size_t end = text.find("\n\n", at);
    if (end == std::string::npos) break;
    Event event;
    std::istringstream lines(text.substr(at, end - at));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("id: ", 0) == 0) event.id = line.substr(4);
      if (line.rfind("event: ", 0) == 0) event.type = line.substr(7);
      if (line.rfind("data: ", 0) == 0) event.data = line.substr(6);
    }
    if (!event.type.empty()) events.push_back(event);
    at = end + 2;
  }
  return events;
}

std::string Numbers(const std::vector<Event>& events) {
  static const std::regex kLine("\"text\":\"[^\"]*L([0-9]+)E");
  std::string numbers;
  std::smatch match;
  for (const Event& event : events) {
    if (event.type == "line" && std::regex_search(event.data, match, kLine)) numbers += match[1].str() + ",";
  }
  return numbers;
}

EventStream::EventStream(const ServerProcess& server, const std::string& session, const std::string& lastEventId)
    : m_fd(ConnectLoopback(server.HttpPort())) {
  const std::string header = lastEventId.empty() ? "" : "Last-Event-ID: " + lastEventId + "\r\n";
  SendAll(m_fd, "GET /events?session=" + session + " HTTP/1.1\r\nHost: t\r\nAccept: text/event-stream\r\n" + header +
                    "\r\n");
}

EventStream::~EventStream() { ::close(m_fd); }

std::string EventStream::WaitFor(const std::string& text, int milliseconds) {
  m_text += ReadUntilContains(m_fd, text, std::chrono::milliseconds(milliseconds));
  return m_text;
}

bool EventStream::Closed(int milliseconds) {
  m_text += ReadUntilClose(m_fd, std::chrono::milliseconds(milliseconds));
  return WaitForClose(m_fd, std::chrono::milliseconds(10));
}

std::string EventStream::LastId() const {
  std::string id;
  for (const Event& event : Events(m_text)) {
    if (!event.id.empty()) id = event.id;
  }
  return id;
}
