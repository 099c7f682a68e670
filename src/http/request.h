// CRequest: one parsed request as its handler sees it: method, path, query
// or body, the client's address, and the page being built as the answer.
// The client's address is the one every use of a user's address takes
// (bans, the account's last address, node records, the chief's view): the
// peer's, or behind a trusted reverse proxy the client it names
// (http/client_address.h).
// The handler may turn the connection into a message stream, or park the
// request when its answer must wait (a peer node's reply, a password hash):
// the connection then waits, holding no thread, until the answer is resumed.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "chat/chat_views.h"
#include "html/page.h"
#include "http/request_parser.h"
#include "net/connection.h"
#include "net/loop_group.h"

// A connection that becomes a stream: whose, in which format, and (an event
// stream that comes back) the position its client names ("" for none).
struct StreamRequest {
  std::string session;
  StreamFormat format = StreamFormat::kClassic;
  std::string lastEventId;
};

// Set by the connection's loop when a parked request's client has gone
// (its connection closed, by the peer or a time-out); read from any thread.
using GoneFlag = std::shared_ptr<std::atomic<bool>>;

// A parked request, by the loop and id of its connection; copyable.
class CParkedRequest {
 public:
  using Fill = std::function<void(CPage& page)>;

  CParkedRequest() = default;
  CParkedRequest(net::CLoopGroup* loops, net::ConnectionId connection, GoneFlag gone)
      : m_loops(loops), m_connection(connection), m_gone(std::move(gone)) {}

  // From any thread: on the connection's loop, fill writes the answer into
  // the page, which then goes out. Nothing happens when the client has gone.
  void Resume(Fill fill) const;
  // From any thread: nobody waits for the answer any more, so slow work
  // for it (a password hash) need not be done.
  bool ClientGone() const { return m_gone && m_gone->load(std::memory_order_acquire); }
  net::CEventLoop& Loop() const { return m_loops->LoopOf(m_connection); }
  explicit operator bool() const { return m_loops != nullptr; }

 private:
  net::CLoopGroup* m_loops = nullptr;
  net::ConnectionId m_connection = 0;
  GoneFlag m_gone;
};

class CRequest {
 public:
  CRequest(const ParsedRequest& parsed, net::CConnection& connection, net::CLoopGroup& loops, CPage& page,
           std::string clientAddress)
      : m_parsed(parsed),
        m_connection(connection),
        m_loops(loops),
        m_page(page),
        m_clientAddress(std::move(clientAddress)) {}

  int Method() const { return m_parsed.method; }
  const std::optional<std::string>& Path() const { return m_parsed.path; }
  const std::optional<std::string>& QueryOrBody() const { return m_parsed.queryOrBody; }
  const std::string& ClientAddress() const { return m_clientAddress; }
  // The client has already closed its connection: no answer can reach it.
  bool ClientGone() const { return m_connection.PeerGone(); }
  CPage& Page() { return m_page; }

  // The position a reconnecting event stream names (its Last-Event-ID header).
  const std::optional<std::string>& LastEventId() const { return m_parsed.lastEventId; }

  // After the answer's head, the connection becomes a stream of the session.
  void BecomeStream(const std::string& session, StreamFormat format = StreamFormat::kClassic,
                    std::string lastEventId = "") {
    m_stream = StreamRequest{session, format, std::move(lastEventId)};
  }
  const std::optional<StreamRequest>& Stream() const { return m_stream; }

  // The answer comes later, through the returned handle.
  CParkedRequest Park() {
    m_parked = true;
    if (!m_gone) m_gone = std::make_shared<std::atomic<bool>>(false);
    return CParkedRequest(&m_loops, m_connection.Id(), m_gone);
  }
  bool Parked() const { return m_parked; }
  // What the connection sets once the parked request's client has gone.
  const GoneFlag& Gone() const { return m_gone; }

 private:
  const ParsedRequest& m_parsed;
  net::CConnection& m_connection;
  net::CLoopGroup& m_loops;
  CPage& m_page;
  const std::string m_clientAddress;
  std::optional<StreamRequest> m_stream;
  bool m_parked = false;
  GoneFlag m_gone;
};

using RequestHandler = std::function<void(CRequest& request)>;
// Takes over a connection as a stream of a session, and sends the answer's
// head (then whatever the stream says first).
using StreamAdopter =
    std::function<void(net::CConnection& connection, const StreamRequest& stream, std::string_view head)>;
