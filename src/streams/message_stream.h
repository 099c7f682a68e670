// CMessageStream: a stream of lines to one session, in one format. After
// the answer's head has gone out, the HTTP connection becomes one of these
// and stays open in its loop; every line for the user is appended to its
// output and written to the socket. The client sends nothing more: what
// arrives is dropped, and its end closes the stream.
//
// CJavaClientConnection is the classic message frame (HTML lines); the
// event stream (event_stream.h) is the other format. Each loop keeps its
// own streams in a CLoopStreams, which only the loop's thread touches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "chat/chat_core.h"
#include "chat/chat_views.h"
#include "foundation/metrics.h"
#include "html/message_render.h"
#include "net/connection.h"
#include "streams/stream_placement.h"

class CChatCore;
class CLoopStreams;

// A client that stops reading is dropped once this much waits for it.
inline constexpr size_t kStreamOutputCap = 1024 * 1024;
// What a frame replaced by a newer one of its session (a reload, a second
// window) shows last, so its user knows why it went quiet.
inline constexpr const char* kReplacedFrameText = "本会话已在另一个窗口打开";
// The reason an event stream replaced by a newer one of its session gives.
inline constexpr const char* kReplacedEventStreamText = "本会话的事件流已在别处打开";
// How long an ending stream's last lines may wait for its client to read them.
inline constexpr int kEndingFrameDrainSeconds = 10;

// The message streams of a server, for its metrics.
struct StreamFigures {
  CGauge open;
  CCounter closedAtCap;  // closed because their client stopped reading
};

// A line as the streams of each format take it: rendered once per format
// in use, shared by every stream of that format.
struct RenderedEvent {
  std::string room;
  std::string epoch;         // the room's life and the line's place in it
  LinePlace place;
  bool newEpoch = false;     // the room started a new life with this line
  ClassicLine classic;                       // for classic frames
  std::shared_ptr<const std::string> json;   // for event streams
};

class CMessageStream : public net::CConnectionHandler {
 public:
  // The figures outlive every stream (the loops close their streams first).
  CMessageStream(CChatCore& core, std::string session, StreamFigures& figures, CLoopStreams& streams);
  ~CMessageStream() override;
  CMessageStream(const CMessageStream&) = delete;
  CMessageStream& operator=(const CMessageStream&) = delete;

  const std::string& Session() const { return m_session; }
  virtual StreamFormat Format() const = 0;
  // The stream's place among the loops, given back when it goes.
  void TakeSeat(CStreamSeat seat) { m_seat = std::move(seat); }
  // What keeps a quiet stream open through proxies and browsers.
  virtual std::string_view KeepAlive() const = 0;
  // What the stream shows first: where its room stands and the lines said
  // there before it started that its user may see.
  virtual void Start(net::CConnection& connection, const StreamStart& start) = 0;
  // A line for this stream's user (marked for him or not).
  virtual void Take(net::CConnection& connection, const RenderedEvent& line, bool addressed) = 0;

  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
  void OnDrained(net::CConnection& connection) override;
  void OnClose(net::CConnection& connection) override;

  // The session ended, or its stream opened elsewhere: this one gets its
  // last words (the line rendered in its format; none when empty) and
  // closes once all it was sent is out.
  void End(net::CConnection& connection, const std::string& lastLine);

  // Appends the bytes to the stream; the lines its loop gives it in one
  // phase leave in one write. A stream whose output passes the cap is
  // closed at once (its client stopped reading: it may not grow the server).
  void Send(net::CConnection& connection, std::string_view bytes);

 protected:
  CChatCore& Core() { return m_core; }
  // The bytes that close the stream's talk, for the last line given.
  virtual std::string LastWords(const std::string& lastLine) = 0;

 private:
  CChatCore& m_core;
  const std::string m_session;
  StreamFigures& m_figures;
  CLoopStreams& m_streams;
  CStreamSeat m_seat;
  bool m_ending = false;
};

// The streams of one loop, by connection, each with its connection: a line
// for ten thousand streams looks each one up once. A stream leaves when its
// connection closes (OnClose), so a connection found here is open.
class CLoopStreams {
 public:
  struct Open {
    net::CConnection* connection = nullptr;
    CMessageStream* stream = nullptr;
  };
  void Add(net::CConnection& connection, CMessageStream* stream) { m_streams[connection.Id()] = {&connection, stream}; }
  void Remove(net::ConnectionId id) { m_streams.erase(id); }
  // The open stream of that connection, or null once it is gone.
  const Open* Find(net::ConnectionId id) const {
    const auto found = m_streams.find(id);
    return found != m_streams.end() ? &found->second : nullptr;
  }
  // Each stream with its connection; a visit may close its stream.
  void ForEach(const std::function<void(net::CConnection&, CMessageStream&)>& visit) const;

 private:
  std::unordered_map<net::ConnectionId, Open> m_streams;
};

// The classic message frame: HTML lines.
class CJavaClientConnection final : public CMessageStream {
 public:
  using CMessageStream::CMessageStream;
  StreamFormat Format() const override { return StreamFormat::kClassic; }
  std::string_view KeepAlive() const override { return "   "; }  // three blanks
  // The latest lines of the room, as they were said (a frame does not come back).
  void Start(net::CConnection& connection, const StreamStart& start) override;
  void Take(net::CConnection& connection, const RenderedEvent& line, bool addressed) override {
    Send(connection, line.classic.For(addressed));
  }

 private:
  std::string LastWords(const std::string& lastLine) override;
};
