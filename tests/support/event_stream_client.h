// An event stream (GET /events) as a browser's EventSource opens it, for
// black-box tests: its text, its events and the id of its last line.
#pragma once

#include <string>
#include <vector>

class ServerProcess;

struct Event {
  std::string id;
  std::string type;
  std::string data;
};

// The events of a stream's text (its head and comments left out).
std::vector<Event> Events(const std::string& text);

// The numbers of the lines "L<n>E" among the events, in order ("1,2,3,"),
// whatever comes before them in the text (another node's line shows the
// verb there).
std::string Numbers(const std::vector<Event>& events);

class EventStream {
 public:
  EventStream(const ServerProcess& server, const std::string& session, const std::string& lastEventId = "");
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  std::string WaitFor(const std::string& text, int milliseconds = 3000);
  std::string Drain(int milliseconds = 300) { return WaitFor(std::string(1, '\0'), milliseconds); }
  bool Closed(int milliseconds);
  const std::string& Text() const { return m_text; }
  // The id of the last line event seen.
  std::string LastId() const;

 private:
  int m_fd;
  std::string m_text;
};
