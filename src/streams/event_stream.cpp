#include "streams/event_stream.h"

#include "streams/event_format.h"

std::string_view CEventStreamConnection::KeepAlive() const { return kEventStreamKeepAlive; }

void CEventStreamConnection::Start(net::CConnection& connection, const StreamStart& start) {
  if (start.room.empty()) return;  // in no room: the stream starts when he enters one
  m_room = start.room;
  m_epoch = start.epoch;
  m_place = start.last;
  if (start.reset) Send(connection, EventResetBytes(start.room, start.epoch, start.last.offset));
  for (const HistoryLine& line : start.lines) {
    if (connection.Closed()) return;
    Send(connection, EventLineBytes(*line.event, start.epoch, line.place));
  }
}

void CEventStreamConnection::Take(net::CConnection& connection, const RenderedEvent& line, bool) {
  if (!line.json) return;
  if (line.epoch != m_epoch) {
    // The room began a new life (in a cluster: it took the node link's
    // order, or Redis lost its data): the client starts over with it.
    if (!line.newEpoch || line.room != m_room || m_room.empty()) return;
    m_epoch = line.epoch;
    Send(connection, EventResetBytes(line.room, line.epoch, line.place.offset - 1, true));
  } else if (line.place <= m_place) {
    return;
  }
  m_place = line.place;
  Send(connection, *line.json);
}

std::string CEventStreamConnection::LastWords(const std::string& lastLine) { return EventByeBytes(lastLine); }
