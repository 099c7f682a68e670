// CJavaClientConnection: the message stream of one browser. After the
// message frame's head has gone out, the HTTP connection becomes one of
// these and stays open in its loop; every line for the user is appended to
// its output and written to the socket. The browser sends nothing more: what
// arrives is dropped, and its end closes the stream.
#pragma once

#include <string>
#include <string_view>

#include "foundation/metrics.h"
#include "net/connection.h"

class CChatCore;

// A browser that stops reading is dropped once this much waits for it.
inline constexpr size_t kStreamOutputCap = 1024 * 1024;
// What a frame replaced by a newer one of its session (a reload, a second
// window) shows last, so its user knows why it went quiet.
inline constexpr const char* kReplacedFrameText = "本会话已在另一个窗口打开";
// How long an ending frame's last lines may wait for its browser to read them.
inline constexpr int kEndingFrameDrainSeconds = 10;

// The message streams of a server, for its metrics.
struct StreamFigures {
  CGauge open;
  CCounter closedAtCap;  // closed because their browser stopped reading
};

class CJavaClientConnection final : public net::CConnectionHandler {
 public:
  // The figures outlive every stream (the loops close their streams first).
  CJavaClientConnection(CChatCore& core, std::string session, StreamFigures& figures);
  ~CJavaClientConnection() override;
  CJavaClientConnection(const CJavaClientConnection&) = delete;
  CJavaClientConnection& operator=(const CJavaClientConnection&) = delete;

  const std::string& Session() const { return m_session; }

  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
  void OnDrained(net::CConnection& connection) override;
  void OnClose(net::CConnection& connection) override;

  // The session ended, or its frame opened elsewhere: this one gets its last
  // line (rendered; none when empty) and closes once all it was sent is out.
  void End(net::CConnection& connection, std::string_view lastLine);

  // Appends the text to the stream; a stream whose output passes the cap is
  // closed at once (its browser stopped reading: it may not grow the server).
  static void Deliver(net::CConnection& connection, std::string_view text, StreamFigures& figures);

 private:
  CChatCore& m_core;
  const std::string m_session;
  StreamFigures& m_figures;
  bool m_ending = false;
};
