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

class CJavaClientConnection final : public net::CConnectionHandler {
 public:
  CJavaClientConnection(CChatCore& core, std::string session) : m_core(core), m_session(std::move(session)) {}

  const std::string& Session() const { return m_session; }

  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
  void OnClose(net::CConnection& connection) override;

  // Appends the text to the stream; a stream whose output passes the cap is
  // closed at once (its browser stopped reading: it may not grow the server).
  static void Deliver(net::CConnection& connection, std::string_view text);
  // Streams closed because their browser stopped reading, since the start.
  static long ClosedAtCap() { return s_closedAtCap.load(); }

 private:
  CChatCore& m_core;
  const std::string m_session;
  static std::atomic<long> s_closedAtCap;
};
