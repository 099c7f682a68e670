// CJavaClientConnection: the message stream of one browser. After the
// message frame's head has gone out, the HTTP connection hands its socket to
// one of these; every line for the user is rendered into its output and
// written to the socket. A line is written straight away when nothing is
// queued; what the socket does not take waits for the stream writer.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "chat/room_session.h"
#include "platform/named_mutex.h"
#include "platform/socket_object.h"
#include "streams/message_render.h"

inline constexpr size_t kStreamOutputCap = 1024 * 1024;  // a browser that stops reading is dropped beyond this

class CJavaClientConnection {
 public:
  CJavaClientConnection(sock_t socket, std::string session);
  ~CJavaClientConnection();
  CJavaClientConnection(const CJavaClientConnection&) = delete;
  CJavaClientConnection& operator=(const CJavaClientConnection&) = delete;

  const std::string& Session() const { return m_session; }
  int Fd() const { return m_fd; }

  // The recipient is the given record, or this stream's user in the room.
  void SendMessage1(const RenderedLine& line, const CUserSession* recipient, CRoomSession* room, bool nodeLink);
  void SendMessage2(const RenderedLine& line, const CUserSession* recipient, CRoomSession* room, bool nodeLink);
  // A chat line rendered once for every recipient.
  void SendChatLine(const RenderedChatLine& line, const std::string& sender, const CUserSession& recipient);
  // The keep-alive: three blanks.
  void SendSpace();

  // Sends what is queued; false when the socket failed. Called by the writer.
  bool WriteData();
  size_t PendingOutput() const;
  // Set when the stream must go (its browser stopped reading or a send failed).
  bool Closing() const { return m_closing; }
  void Close();

  // Set by the writer: called with true when output waits, false when drained.
  void SetWriteInterest(std::function<void(bool)> interest) { m_writeInterest = std::move(interest); }

 private:
  void Deliver(const std::string& text);
  // Sends from the queue; the guard is held.
  bool SendQueued();
  // Tells the writer whether output waits (only on a change); the guard is held.
  void UpdateWriteInterest(bool wants);
  SessionPtr Recipient(const CUserSession* given, CRoomSession* room) const;

  const std::string m_session;
  sock_t m_socket;
  const int m_fd;
  platform::NamedMutexPtr m_guard;
  std::string m_output;
  size_t m_sent = 0;  // bytes of m_output already sent
  bool m_wantsWrite = false;
  std::atomic<bool> m_closing{false};
  std::function<void(bool)> m_writeInterest;
};

using StreamPtr = std::shared_ptr<CJavaClientConnection>;
