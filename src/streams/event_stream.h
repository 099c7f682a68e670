// CEventStreamConnection: a session's event stream (text/event-stream). It
// follows one room at a time: it starts with a reset (the room's position)
// and the room's latest lines, or, when its client came back from a
// position the room's history still covers, exactly the lines after it.
// Then live lines, each once, in the order of their offsets: a line of
// another epoch than the stream's (a room it has not been reset to yet), or
// at or below the last offset it showed, is not shown.
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

  std::string m_epoch;          // the room the stream follows ("": none yet)
  std::uint64_t m_offset = 0;   // the last line of that room it has shown or passed
};
