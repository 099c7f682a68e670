// CConnection: one accepted socket of a loop, with its input and output
// buffers and the protocol spoken on it (a handler: the HTTP request state
// machine, later perhaps a message stream). Only the owning loop's thread
// touches a connection (what changes it checks so); other threads name it
// by its id and post their work to its loop.
//
// Output: Send writes straight to the socket when nothing is queued and
// queues what the socket does not take; the loop writes the rest when the
// socket becomes writable. SendCoalesced only appends: all that a
// connection is given so during one phase of its loop's turn leaves in one
// write when the phase ends (a burst of lines for a stream is one send).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/event_loop.h"
#include "net/pollable.h"
#include "net/send_batch.h"
#include "platform/unique_fd.h"

namespace net {

class CConnectionHandler {
 public:
  virtual ~CConnectionHandler() = default;
  // The connection was taken in; nothing has been read yet.
  virtual void OnStart(CConnection&) {}
  // New bytes are in connection.Input(); consume what is used.
  virtual void OnInput(CConnection& connection) = 0;
  // The peer closed its side of the connection. Closes unless overridden.
  virtual void OnPeerClosed(CConnection& connection);
  // Everything queued has been sent.
  virtual void OnDrained(CConnection&) {}
  // The connection's deadline passed. Closes unless overridden.
  virtual void OnDeadline(CConnection& connection);
  // The last call: the connection is closing.
  virtual void OnClose(CConnection&) {}
};

// A connection's socket with what goes with it: its peer, what it takes up
// of the server's limits, when it was opened and what it sent that was not
// yet used. A loop takes one in new from its listener (CEventLoop::Adopt), or
// as another loop gave it up (CConnection::HandOver, CEventLoop::AdoptHandedOver).
struct ConnectionSocket {
  platform::CUniqueFd fd;
  std::string peerAddress;
  CAdmissionTicket ticket;
  std::int64_t openedAtMs = 0;
  std::string input;
};

class CConnection final : public CPollable {
 public:
  CConnection(CEventLoop& loop, ConnectionId id, ConnectionSocket socket, std::unique_ptr<CConnectionHandler> handler);
  ~CConnection() override;
  CConnection(const CConnection&) = delete;
  CConnection& operator=(const CConnection&) = delete;

  ConnectionId Id() const { return m_id; }
  // When the connection was taken in (monotonic milliseconds): which of two
  // connections came first, across loops.
  std::int64_t OpenedAtMs() const { return m_openedAtMs; }
  CEventLoop& Loop() { return m_loop; }
  const std::string& PeerAddress() const { return m_peerAddress; }
  bool Closed() const { return m_closed; }

  // The peer has closed (or reset) the connection and nothing it sent is
  // left unread: a look at the socket that takes nothing from it.
  bool PeerGone() const;

  std::string& Input() { return m_input; }
  void Send(std::string_view bytes);
  // Appends the bytes after everything given before; the loop writes them,
  // with whatever else the connection is given until then, at the end of
  // its current phase (its posted tasks, or a round of events with the
  // timers and deadlines after it), before it waits again. Outside a
  // running loop, the same as Send.
  void SendCoalesced(std::string_view bytes);
  // Bytes given and not yet taken by the socket, coalesced ones included.
  size_t PendingOutput() const { return m_output.size() - m_sent; }

  // Small writes go out at once instead of waiting for the peer's
  // acknowledgement (a stream's lines are small and must not wait).
  void SendWithoutDelay();
  // Reading is on from the start; a handler that wants nothing more turns it off.
  void SetReading(bool reading);
  // Replaces the protocol (the old handler is freed after the current call).
  void SetHandler(std::unique_ptr<CConnectionHandler> handler);
  CConnectionHandler* Handler() { return m_handler.get(); }
  void SetDeadline(std::time_t deadline);
  // What the connection takes up of the server's limits, given back at its close.
  CAdmissionTicket& Admission() { return m_admission; }
  // The handler has a whole request head: the connection is no longer one
  // of those shed first when descriptors run short.
  void MarkRequestArrived() { m_loop.StopShedding(m_id); }
  // A kept connection between requests: idle again, so shed like a new one
  // (the oldest first, and kept ones are the cheapest for a client to reopen).
  void MarkAwaitingRequest() { m_loop.StartShedding(m_id); }

  // Closes the socket at once; queued output is dropped.
  void Close();
  // Closes with a reset: what the kernel still holds for the peer is dropped
  // too, at once, even when the peer reads nothing (a stuck reader's window
  // is closed, so an ordinary close would wait on it).
  void Abort();

  // Gives the socket up, open, for another loop to take in: the connection
  // ends here as if closed, but its handler is not told (it is being
  // replaced) and its client sees nothing. Only with no output waiting.
  ConnectionSocket HandOver();

  // The handler's start, the first read (data often waits already: a
  // browser sends its request with the connection) and the epoll registration.
  void Start();
  void OnEvents(std::uint32_t events) override;
  void OnDeadlinePassed();
  // The loop, at the end of a phase: writes what SendCoalesced gathered.
  void FlushCoalesced();
  // The same for many connections at once: the first says what to write
  // (false: nothing), the second takes what the socket did with it.
  bool StartBatchedFlush(CSendBatch::Write& write);
  void FinishBatchedFlush(const CSendBatch::Write& write);

 private:
  void ReadInput();
  // Writes what is queued until the socket takes no more; false when the
  // connection failed (it is not closed here).
  bool WriteQueued();
  void Flush();
  void UpdateInterest();
  // The last step of a close or a hand-over: the loop forgets the connection.
  void LeaveLoop();

  CEventLoop& m_loop;
  const ConnectionId m_id;
  const std::int64_t m_openedAtMs;
  platform::CUniqueFd m_fd;
  const std::string m_peerAddress;
  std::unique_ptr<CConnectionHandler> m_handler;
  CAdmissionTicket m_admission;
  std::vector<std::unique_ptr<CConnectionHandler>> m_spentHandlers;
  std::string m_input;
  std::string m_output;
  size_t m_sent = 0;  // bytes of m_output already sent
  // m_output holds coalesced bytes never yet offered to the socket, and the
  // loop will flush the connection at the end of its phase.
  bool m_flushQueued = false;
  bool m_reading = true;
  bool m_closed = false;
  bool m_watched = false;
  std::uint32_t m_events = 0;
  std::time_t m_deadline = 0;
};

}  // namespace net
