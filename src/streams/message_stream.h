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
// How long a replaced frame's last line may wait for its browser to read it.
inline constexpr int kReplacedFrameDrainSeconds = 10;

class CJavaClientConnection final : public net::CConnectionHandler {
 public:
  CJavaClientConnection(CChatCore& core, std::string session) : m_core(core), m_session(std::move(session)) {}

  const std::string& Session() const { return m_session; }

  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
  void OnDrained(net::CConnection& connection) override;
  void OnClose(net::CConnection& connection) override;

  // The session's frame opened elsewhere: this one gets the notice (a
  // rendered line) and closes once it is out.
  void EndReplaced(net::CConnection& connection, std::string_view notice);

  // Appends the text to the stream; a stream whose output passes the cap is
  // closed at once (its browser stopped reading: it may not grow the server).
  static void Deliver(net::CConnection& connection, std::string_view text);
  // Streams closed because their browser stopped reading, since the start.
  static long ClosedAtCap() { return s_closedAtCap.load(); }

 private:
  CChatCore& m_core;
  const std::string m_session;
  bool m_replaced = false;
  static std::atomic<long> s_closedAtCap;
};
