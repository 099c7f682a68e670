// CJavaClientConnection: the message stream of one browser. After the
// message frame's head has gone out, the HTTP connection becomes one of
// these and stays open in its loop; every line for the user is appended to
// its output and written to the socket. The browser sends nothing more: what
// arrives is dropped, and its end closes the stream.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "net/connection.h"

class CChatCore;

// A browser that stops reading is dropped once this much waits for it.
inline constexpr size_t kStreamOutputCap = 1024 * 1024;
// What a frame replaced by a newer one of its session (a reload, a second
// window) shows last, so its user knows why it went quiet.
inline constexpr const char* kReplacedFrameText = "本会话已在另一个窗口打开";
// How long an ending frame's last lines may wait for its browser to read them.
inline constexpr int kEndingFrameDrainSeconds = 10;

class CJavaClientConnection final : public net::CConnectionHandler {
 public:
  CJavaClientConnection(CChatCore& core, std::string session) : m_core(core), m_session(std::move(session)) {}

  const std::string& Session() const { return m_session; }

  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
  void OnDrained(net::CConnection& connection) override;
  void OnClose(net::CConnection& connection) override;

  // The session ended, or its frame opened elsewhere: this one gets its last
  // line (rendered; none when empty) and closes once all it was sent is out.
  void End(net::CConnection& connection, std::string_view lastLine);

  // Appends the text to the stream; a stream whose output passes the cap is
  // closed at once (its browser stopped reading: it may not grow the server).
  static void Deliver(net::CConnection& connection, std::string_view text);
  // Streams closed because their browser stopped reading, since the start.
  static long ClosedAtCap() { return s_closedAtCap.load(); }

 private:
  CChatCore& m_core;
  const std::string m_session;
  bool m_ending = false;
  static std::atomic<long> s_closedAtCap;
};
