#include "streams/message_stream.h"

#include "chat/chat_core.h"

std::atomic<long> CJavaClientConnection::s_closedAtCap{0};

void CJavaClientConnection::OnClose(net::CConnection& connection) {
  m_core.DetachStream(m_session, m_core.NodeId(), connection.Id());
}

void CJavaClientConnection::Deliver(net::CConnection& connection, std::string_view text) {
  connection.Send(text);
  if (!connection.Closed() && connection.PendingOutput() > kStreamOutputCap) {
    ++s_closedAtCap;
    connection.Abort();
  }
}
