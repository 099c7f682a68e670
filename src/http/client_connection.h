// CClientConnection: the HTTP side of a connection. A small state machine:
// read one request (a resumable parser), build the whole answer through the
// request handler (at once, or later for a parked request), write it out,
// then close; or, for the message frame, hand the connection over to a
// message stream that stays open in the same loop.
//
// The connection time-out bounds the request and its answer only: it is set
// before the first byte is read and taken back when the connection becomes a
// message stream, which lives as long as its user. The request time-out,
// shorter, bounds the request head (its line and headers, which a browser
// sends with the connection): a connection that has sent no whole head by
// then is closed. A body still on its way keeps the connection time-out.
//
// Once the head is read the connection is no longer shed at the descriptor
// ceiling, and a connection from a trusted proxy counts against the cap of
// the client it names (past the cap it is answered "too many connections").
//
// A request whose handler (or a parked request's answer) throws is answered
// "500" with a one-line page, and the console gives the cause.
//
// A parked request keeps reading: when its client closes the connection
// (or resets it) the connection closes at once and the request is marked
// gone, so the work it waits for can be dropped. A client that only shuts
// its sending side looks the same as one that closed (one FIN), and counts
// as gone too: browsers never half-close.
#pragma once

#include <memory>

#include "foundation/ip_address.h"
#include "html/page.h"
#include "http/request.h"
#include "http/request_parser.h"
#include "net/connection.h"

inline constexpr int kDefaultConnectionTimeout = 120;  // seconds
inline constexpr int kDefaultRequestTimeout = 10;      // seconds

// What every HTTP connection of a server shares.
struct CHttpServices {
  RequestHandler handler;
  StreamAdopter adoptStream;
  const CSiteFiles* site = nullptr;
  net::CLoopGroup* loops = nullptr;
  int connectionTimeout = kDefaultConnectionTimeout;
  int requestTimeout = kDefaultRequestTimeout;
  // Peers whose X-Forwarded-For / X-Real-IP name the client ([network] trusted_proxies).
  CAddressList trustedProxies;
};

class CClientConnection final : public net::CConnectionHandler {
 public:
  explicit CClientConnection(const CHttpServices& services) : m_services(services) {}

  void OnStart(net::CConnection& connection) override;
  void OnInput(net::CConnection& connection) override;
  void OnDrained(net::CConnection& connection) override;
  void OnClose(net::CConnection& connection) override;

  // A parked request's answer: fill the page, then send it.
  void Resume(net::CConnection& connection, const CParkedRequest::Fill& fill);

  // The bytes that go out for a finished page: the GIF it names, or its text
  // up to its first NUL behind the standard head when it has none. The view
  // points into the page or into storage.
  static std::string_view AnswerBytes(CPage& page, std::string& storage);

 private:
  enum class Phase { kReading, kParked, kWriting, kStreaming };

  void OnHeadRead(net::CConnection& connection);
  void TurnAway(net::CConnection& connection);
  void Serve(net::CConnection& connection);
  void Answer(net::CConnection& connection);
  // The last guard of a request, in its handler: the console says which
  // request failed and why; the client gets a short error page (status 500)
  // rather than part of a page, and the connection closes once it is sent.
  void AnswerFailure(net::CConnection& connection);

  const CHttpServices& m_services;
  Phase m_phase = Phase::kReading;
  CRequestParser m_parser;
  std::time_t m_openedAt = 0;
  bool m_headRead = false;
  bool m_addressFull = false;  // turned away once the whole request is read
  std::string m_clientAddress;
  ParsedRequest m_request;
  std::unique_ptr<CPage> m_page;
  std::optional<std::string> m_streamSession;
  GoneFlag m_gone;  // while parked: set when the client goes
};
