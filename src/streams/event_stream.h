// CEventStreamConnection: a session's event stream (text/event-stream). It
// follows one room at a time: it starts with a reset (the room's position)
// and the room's latest lines, or, when its client came back from a
// position the room's history still covers, exactly the lines after it.
// Then live lines, each once, in the order of their places: a line of
// another epoch than the stream's (a room it has not been reset to yet), or
// at or before the last place it showed, is not shown; a line that starts
// a new life of the stream's room resets the stream to it.
#pragma once

#include <cstdint>
#include <string>

#include "streams/message_stream.h"

class CEventStreamConnection final : public CMessageStream {
 public:
  using CMessageStream::CMessageStream;
  StreamFormat Format() const override { return StreamFormat::kEvents; }
  std::string_view KeepAlive() const override;
  void Start(net::CConnection& connection, const StreamStart& start) override;
  void Take(net::CConnection& connection, const RenderedEvent& line, bool addressed) override;

 private:
  std::string LastWords(const std::string& lastLine) override;

  std::string m_room;           // the room the stream follows ("": none yet)
  std::string m_epoch;          // and its life
  LinePlace m_place;            // the last line of that room it has shown or passed
};
