#include "http/client_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "http/client_address.h"
#include "http/turned_away.h"
#include "http/typed_answer.h"
#include "platform/console.h"

void CParkedRequest::Resume(Fill fill) const {
  if (!m_loops) return;
  net::CEventLoop& loop = Loop();
  const net::ConnectionId id = m_connection;
  loop.Post([&loop, id, fill = std::move(fill)] {
    net::CConnection* connection = loop.Find(id);
    if (connection == nullptr) return;  // the client went away meanwhile
    if (auto* http = dynamic_cast<CClientConnection*>(connection->Handler())) http->Resume(*connection, fill);
  });
}

int CClientConnection::IdleSeconds() const {
  return std::min(m_services.requestTimeout, m_services.connectionTimeout);
}

void CClientConnection::OnStart(net::CConnection& connection) {
  m_requestStart = platform::Now();
  connection.SetDeadline(m_requestStart + IdleSeconds());
}

void CClientConnection::OnInput(net::CConnection& connection) {
  if (m_phase == Phase::kReading) {
    ReadRequests(connection);
  } else if (connection.Input().size() > kPipelinedInputLimit) {
    connection.SetReading(false);  // far ahead of its answers: the kernel keeps the rest
  }
}

void CClientConnection::ReadRequests(net::CConnection& connection) {
  m_readingRequests = true;
  while (m_phase == Phase::kReading && !connection.Closed() && ReadRequest(connection)) {
  }
  m_readingRequests = false;
}

bool CClientConnection::ReadRequest(net::CConnection& connection) {
  std::string& input = connection.Input();
  input.erase(0, m_parser.Feed(input));
  const CRequestParser::State state = m_parser.GetState();
  if (!m_headRead && (state == CRequestParser::State::kBody || state == CRequestParser::State::kComplete)) {
    OnHeadRead(connection);
  }
  if (m_parser.Refused()) {
    connection.Close();
    return false;
  }
  if (!m_parser.Complete()) return false;
  connection.SetReading(false);  // what comes next waits until this answer is out
  if (m_addressFull) {
    TurnAway(connection);
  } else {
    Serve(connection);
  }
  return true;
}

void CClientConnection::OnHeadRead(net::CConnection& connection) {
  m_headRead = true;
  connection.SetDeadline(m_requestStart + m_services.connectionTimeout);
  m_clientAddress = ClientAddress(connection.PeerAddress(), m_parser.Request(), m_services.trustedProxies);
  if (m_answered > 0) return;  // the connection was counted at its first request
  connection.MarkRequestArrived();
  m_addressFull = !connection.Admission().CountClient(m_clientAddress);
}

void CClientConnection::TurnAway(net::CConnection& connection) {
  m_phase = Phase::kWriting;
  connection.Send(TurnedAwayAnswer(kTooManyFromAddressText));
}

void CClientConnection::Serve(net::CConnection& connection) {
  m_request = m_parser.TakeRequest();
  m_page = std::make_unique<CPage>(*m_services.site);
  CRequest request(m_request, connection, *m_services.loops, *m_page, m_clientAddress);
  try {
    m_services.handler(request);
  } catch (...) {
    if (request.Parked()) request.Gone()->store(true, std::memory_order_release);  // its work need not be done
    AnswerFailure(connection);
    return;
  }
  m_stream = request.Stream();
  if (request.Parked()) {
    m_phase = Phase::kParked;
    m_gone = request.Gone();
    connection.SetReading(true);  // to hear the client leave; what else it sends waits its turn
    return;
  }
  Answer(connection);
}

void CClientConnection::Resume(net::CConnection& connection, const CParkedRequest::Fill& fill) {
  if (m_phase != Phase::kParked) return;
  connection.SetReading(false);
  try {
    fill(*m_page);
  } catch (...) {
    AnswerFailure(connection);
    return;
  }
  Answer(connection);
}

void CClientConnection::AnswerFailure(net::CConnection& connection) {
  std::string request = m_request.method == kPost ? "POST " : "GET ";
  const std::string& path = m_request.path.value_or("");
  request.append(path, 0, path.find('?'));  // whatever a client put after '?' stays off the console
  platform::LogException("request failed", request + ", client " + m_clientAddress + ", connection " +
                                               std::to_string(connection.Id()));
  m_stream.reset();
  m_page.reset();
  m_phase = Phase::kWriting;
  connection.Send(FailedRequestAnswer());
}

void CClientConnection::Answer(net::CConnection& connection) {
  ++m_answered;
  // Taken from the connection before its bytes go: once they are out, a
  // kept connection serves its next request, with a page of its own,
  // before Send returns here.
  const std::unique_ptr<CPage> page = std::move(m_page);
  std::string storage;
  std::string_view bytes;
  if (const std::optional<TypedAnswer>& typed = page->Typed(); typed && !m_stream) {
    m_keepAlive = m_request.WantsKeepAlive() && m_answered < kMaxRequestsPerConnection;
    storage = TypedAnswerBytes(*typed, m_keepAlive ? IdleSeconds() : 0);
    bytes = storage;
  } else {
    bytes = AnswerBytes(*page, storage);
  }
  if (m_stream && m_services.adoptStream) {
    // The stream is tied to its session before its head goes out: once the
    // browser has the head it may open another frame, which must come after.
    m_phase = Phase::kStreaming;
    connection.SetDeadline(0);  // a stream lives as long as its user
    m_services.adoptStream(connection, *m_stream, bytes);
    return;
  }
  m_phase = Phase::kWriting;
  if (bytes.empty()) {
    connection.Close();
  } else {
    connection.Send(bytes);  // what the socket does not take at once is copied into the connection
  }
}

void CClientConnection::OnClose(net::CConnection&) {
  if (m_phase == Phase::kParked && m_gone) m_gone->store(true, std::memory_order_release);
}

void CClientConnection::OnDrained(net::CConnection& connection) {
  if (m_phase != Phase::kWriting) return;
  if (!m_keepAlive) {
    connection.Close();  // one request per connection: the end of the connection ends the answer
    return;
  }
  BeginNextRequest(connection);
  if (!m_readingRequests) ReadRequests(connection);  // requests that came meanwhile
}

void CClientConnection::BeginNextRequest(net::CConnection& connection) {
  m_phase = Phase::kReading;
  m_parser = CRequestParser();
  m_request = ParsedRequest();
  m_headRead = false;
  m_keepAlive = false;
  m_stream.reset();
  m_gone.reset();
  m_requestStart = platform::Now();
  connection.SetDeadline(m_requestStart + IdleSeconds());
  connection.SetReading(true);
}

std::string_view CClientConnection::AnswerBytes(CPage& page, std::string& storage) {
  const std::string_view text = page.Text().View();
  if (page.GifMarked()) {
    const size_t marker = text.find(kGifMarker);
    if (marker == std::string_view::npos) return {};
    const size_t nameStart = marker + std::strlen(kGifMarker);
    const size_t nameEnd = text.find('=', nameStart);
    const std::string name(text.substr(nameStart, nameEnd == std::string_view::npos ? std::string_view::npos
                                                                                  : nameEnd - nameStart));
    const std::shared_ptr<const CachedFile> file = page.Site().Read(name);
    if (!file) return {};
    storage = kGifHead + file->bytes;
    return storage;
  }
  // A text answer ends at its first NUL.
  const std::string_view answer = text.substr(0, text.find('\0'));
  if (answer.empty() || answer.substr(0, 5) == "HTTP/") return answer;
  // Current browsers show a blank page for an answer without a status line.
  storage = std::string(kHtmlHead) + kNoCache + "\r\n";
  storage += answer;
  return storage;
}
