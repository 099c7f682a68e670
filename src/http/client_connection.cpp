#include "http/client_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "http/client_address.h"
#include "http/turned_away.h"
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

void CClientConnection::OnStart(net::CConnection& connection) {
  m_openedAt = platform::Now();
  connection.SetDeadline(m_openedAt + std::min(m_services.requestTimeout, m_services.connectionTimeout));
}

void CClientConnection::OnInput(net::CConnection& connection) {
  std::string& input = connection.Input();
  if (m_phase != Phase::kReading) {
    input.clear();
    return;
  }
  input.erase(0, m_parser.Feed(input));
  const CRequestParser::State state = m_parser.GetState();
  if (!m_headRead && (state == CRequestParser::State::kBody || state == CRequestParser::State::kComplete)) {
    OnHeadRead(connection);
  }
  if (m_parser.Refused()) {
    connection.Close();
  } else if (m_parser.Complete()) {
    input.clear();
    connection.SetReading(false);
    if (m_addressFull) {
      TurnAway(connection);
    } else {
      Serve(connection);
    }
  }
}

void CClientConnection::OnHeadRead(net::CConnection& connection) {
  m_headRead = true;
  connection.MarkRequestArrived();
  connection.SetDeadline(m_openedAt + m_services.connectionTimeout);
  m_clientAddress = ClientAddress(connection.PeerAddress(), m_parser.Request(), m_services.trustedProxies);
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
  m_streamSession = request.StreamSession();
  if (request.Parked()) {
    m_phase = Phase::kParked;
    m_gone = request.Gone();
    connection.SetReading(true);  // to hear the client leave; what else it sends is dropped
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
  m_streamSession.reset();
  m_page.reset();
  m_phase = Phase::kWriting;
  connection.Send(FailedRequestAnswer());
}

void CClientConnection::Answer(net::CConnection& connection) {
  std::string storage;
  const std::string_view bytes = AnswerBytes(*m_page, storage);
  if (m_streamSession && m_services.adoptStream) {
    // The stream is tied to its session before its head goes out: once the
    // browser has the head it may open another frame, which must come after.
    m_phase = Phase::kStreaming;
    connection.SetDeadline(0);  // a stream lives as long as its user
    m_services.adoptStream(connection, *m_streamSession);
    connection.Send(bytes);
    m_page.reset();
    return;
  }
  m_phase = Phase::kWriting;
  if (bytes.empty()) {
    connection.Close();
  } else {
    connection.Send(bytes);  // what the socket does not take at once is copied into the connection
  }
  m_page.reset();
}

void CClientConnection::OnClose(net::CConnection&) {
  if (m_phase == Phase::kParked && m_gone) m_gone->store(true, std::memory_order_release);
}

void CClientConnection::OnDrained(net::CConnection& connection) {
  // One request per connection: the end of the connection ends the answer.
  if (m_phase == Phase::kWriting) connection.Close();
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
