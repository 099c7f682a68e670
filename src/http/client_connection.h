// CClientConnection: the HTTP side of a connection. A small state machine:
// read one request (a resumable parser), build the whole answer through the
// request handler (at once, or later for a parked request), write it out,
// then close; or, for the message frame, hand the connection over to a
// message stream that stays open in the same loop; or, after a typed answer
// (the JSON API's) to a client that keeps its connection, read the next
// request.
//
// Keep-alive: a typed answer carries its Content-Length. When the client
// asked to keep the connection (HTTP/1.1 without "Connection: close", or
// HTTP/1.0 with "Connection: keep-alive"), the connection reads its next
// request once the answer is out, kMaxRequestsPerConnection in all (the
// last answer says "Connection: close"). Requests sent together
// (pipelined) are answered one after another, in order; what arrives while
// an answer is parked or being written waits in the input, at most
// kPipelinedInputLimit bytes (beyond that the socket is not read until the
// input is used). A kept connection waits for its next request head as
// long as a new one waits for its first (the request time-out), then
// closes. The classic pages stay as they were: HTTP/1.0, one request a
// connection.
//
// The connection time-out bounds the request and its answer only: it is set
// before the first byte is read and taken back when the connection becomes a
// message stream, which lives as long as its user. The request time-out,
// shorter, bounds the request head (its line and headers, which a browser
// sends with the connection): a connection that has sent no whole head by
// then is closed. A body still on its way keeps the connection time-out.
//
// Once the first head is read the connection is no longer shed at the
// descriptor ceiling, and a connection from a trusted proxy counts against
// the cap of the client it names (past the cap it is answered "too many
// connections"); a kept connection stays counted so, while each of its
// requests takes the client address its own head gives.
//
// A request whose handler (or a parked request's answer) throws is answered
// "500" with a one-line page, and the console gives the cause.
//
// A parked request keeps reading: when its client closes the connection
// (or resets it) the connection closes at once and the request is marked
// gone, so the work it waits for can be dropped; what else the client sends
// meanwhile waits its turn. A client that only shuts
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
inline constexpr int kMaxRequestsPerConnection = 1000;
inline constexpr size_t kPipelinedInputLimit = kRequestHeadLimit + kMaxPostBody;

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

  // Serves the requests whole in the input, one after another, while each
  // answer leaves the connection reading.
  void ReadRequests(net::CConnection& connection);
  // Feeds the parser; true when a whole request was served.
  bool ReadRequest(net::CConnection& connection);
  void OnHeadRead(net::CConnection& connection);
  void TurnAway(net::CConnection& connection);
  void Serve(net::CConnection& connection);
  void Answer(net::CConnection& connection);
  // The answer is out and the connection is kept: back to reading.
  void BeginNextRequest(net::CConnection& connection);
  int IdleSeconds() const;
  // The last guard of a request, in its handler: the console says which
  // request failed and why; the client gets a short error page (status 500)
  // rather than part of a page, and the connection closes once it is sent.
  void AnswerFailure(net::CConnection& connection);

  const CHttpServices& m_services;
  Phase m_phase = Phase::kReading;
  CRequestParser m_parser;
  std::time_t m_requestStart = 0;  // when the connection began to wait for this request
  int m_answered = 0;              // requests answered on this connection
  bool m_keepAlive = false;        // the answer going out leaves the connection open
  bool m_readingRequests = false;  // inside ReadRequests: a drained answer lets its loop go on
  bool m_headRead = false;
  bool m_addressFull = false;  // turned away once the whole request is read
  std::string m_clientAddress;
  ParsedRequest m_request;
  std::unique_ptr<CPage> m_page;
  std::optional<StreamRequest> m_stream;
  GoneFlag m_gone;  // while parked: set when the client goes
};
