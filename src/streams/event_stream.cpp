#include "streams/event_stream.h"

#include "streams/event_format.h"

std::string_view CEventStreamConnection::KeepAlive() const { return kEventStreamKeepAlive; }

void CEventStreamConnection::Start(net::CConnection& connection, const StreamStart& start) {
  if (start.room.empty()) return;  // in no room: the stream starts when he enters one
  m_epoch = start.epoch;
  m_offset = start.offset;
  if (start.reset) Send(connection, EventResetBytes(start.room, start.epoch, start.offset));
  for (const HistoryLine& line : start.lines) {
    if (connection.Closed()) return;
    Send(connection, EventLineBytes(*line.event, start.epoch, line.offset));
  }
}

void CEventStreamConnection::Take(net::CConnection& connection, const RenderedEvent& line, bool) {
  if (line.epoch != m_epoch || line.offset <= m_offset || !line.json) return;
  m_offset = line.offset;
  Send(connection, *line.json);
}

std::string CEventStreamConnection::LastWords(const std::string& lastLine) { return EventByeBytes(lastLine); }
