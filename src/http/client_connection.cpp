#include "http/client_connection.h"

#include <cstring>
#include <mutex>

#include "foundation/settings.h"
#include "foundation/sockets.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {
std::mutex g_handOffLock;
StreamHandOff g_streamHandOff;

int ConnectionTimeout() {
  const int seconds = GetSettingInt("general", "connection_timeout");
  return seconds != 0 ? seconds : kDefaultConnectionTimeout;
}
}  // namespace

void SetStreamHandOff(StreamHandOff handOff) {
  std::lock_guard<std::mutex> guard(g_handOffLock);
  g_streamHandOff = std::move(handOff);
}

CClientConnection::CClientConnection(sock_t socket)
    : m_deadline(platform::Now() + ConnectionTimeout()), m_socket(std::move(socket)) {}

CClientConnection::~CClientConnection() {
  try {
    if (m_handOff) {
      StreamHandOff handOff;
      {
        std::lock_guard<std::mutex> guard(g_handOffLock);
        handOff = g_streamHandOff;
      }
      if (handOff) {
        handOff(m_socket, m_handOffSession);
        return;
      }
    }
    CloseSocket(m_socket);
  } catch (...) {
    platform::ConsoleWrite("catch in ~CClientConnect\n");
  }
}

int CClientConnection::Step() {
  switch (m_state) {
    case kReading:
      m_state = ReadHeaders();
      break;
    case kRequestComplete:
      m_state = GenerateResponse();
      break;
    case kWriting:
      m_state = WriteData();
      break;
    default:
      break;
  }
  return m_state;
}

void CClientConnection::Finish() {
  m_state = kFinished;
  m_byteCounter = 0;
}

std::string CClientConnection::PeerAddress() const { return GetPeerAddress(m_socket); }

void CClientConnection::HandOffAsStream(const std::string& session) {
  m_handOff = true;
  m_handOffSession = session;
}
