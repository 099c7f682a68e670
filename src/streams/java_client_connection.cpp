#include "streams/java_client_connection.h"

#include <sys/socket.h>

#include <cerrno>

#include "foundation/settings.h"
#include "platform/console.h"

CJavaClientConnection::CJavaClientConnection(sock_t socket, std::string session)
    : m_session(std::move(session)),
      m_socket(std::move(socket)),
      m_fd(m_socket ? m_socket->Fd() : -1),
      m_guard(platform::OpenNamedMutex(m_session)) {}

CJavaClientConnection::~CJavaClientConnection() {
  try {
    Close();
  } catch (...) {
    platform::ConsoleWrite("catch in ~CJAVA\n");
  }
}

void CJavaClientConnection::Close() {
  platform::CMutexGuard guard(*m_guard);
  m_closing = true;
  if (m_socket) m_socket->Close();
}

size_t CJavaClientConnection::PendingOutput() const {
  platform::CMutexGuard guard(*m_guard);
  return guard ? m_output.size() - m_sent : 0;
}

namespace {
// Whether the recipient ignores the sender (the sender's name part).
bool Ignores(const CUserSession* recipient, const std::string& sender) {
  return recipient != nullptr && recipient->IsIgnoring(NamePart(sender.substr(0, kShownNameLimit)));
}
}  // namespace

SessionPtr CJavaClientConnection::Recipient(const CUserSession* given, CRoomSession* room) const {
  if (given != nullptr || room == nullptr) return nullptr;
  return room->Members().FindBySessionAndNode(m_session, OwnNodeId());
}

void CJavaClientConnection::SendMessage1(const RenderedLine& line, const CUserSession* recipient, CRoomSession* room,
                                         bool nodeLink) {
  const SessionPtr found = Recipient(recipient, room);
  const CUserSession* user = recipient != nullptr ? recipient : found.get();
  if (Ignores(user, line.sender)) return;
  Deliver(RenderMessage1(line, user != nullptr ? user->GetName() : std::string(), nodeLink));
}

void CJavaClientConnection::SendMessage2(const RenderedLine& line, const CUserSession* recipient, CRoomSession* room,
                                         bool nodeLink) {
  const SessionPtr found = Recipient(recipient, room);
  if (Ignores(recipient != nullptr ? recipient : found.get(), line.sender)) return;
  Deliver(RenderMessage2(line, nodeLink));
}

void CJavaClientConnection::SendChatLine(const RenderedChatLine& line, const std::string& sender,
                                         const CUserSession& recipient) {
  if (Ignores(&recipient, sender)) return;
  Deliver(line.For(recipient.GetName()));
}

void CJavaClientConnection::SendSpace() { Deliver("   "); }

void CJavaClientConnection::Deliver(const std::string& text) {
  platform::CMutexGuard guard(*m_guard);
  if (!guard || m_closing) return;
  m_output.append(text);
  if (!SendQueued()) {
    m_closing = true;
  } else if (m_output.size() - m_sent > kStreamOutputCap) {
    m_closing = true;  // the browser stopped reading: it may not grow the server
  }
  UpdateWriteInterest(m_closing || m_sent < m_output.size());
}

void CJavaClientConnection::UpdateWriteInterest(bool wants) {
  if (wants != m_wantsWrite && m_writeInterest) m_writeInterest(wants);
  m_wantsWrite = wants;
}

bool CJavaClientConnection::SendQueued() {
  while (m_sent < m_output.size()) {
    if (!m_socket || !m_socket->IsOpen()) return false;
    const ssize_t sent = ::send(m_fd, m_output.data() + m_sent, m_output.size() - m_sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      if (m_sent > 65536) {  // keep only what is still to go
        m_output.erase(0, m_sent);
        m_sent = 0;
      }
      return true;
    }
    m_sent += static_cast<size_t>(sent);
  }
  m_output.clear();
  m_sent = 0;
  return true;
}

bool CJavaClientConnection::WriteData() {
  try {
    platform::CMutexGuard guard(*m_guard);
    if (!guard) return true;
    const bool ok = SendQueued() && !m_closing;
    UpdateWriteInterest(!ok || m_sent < m_output.size());
    return ok;
  } catch (...) {
    platform::ConsoleWrite("catch in WriteData\n");
    return false;
  }
}
