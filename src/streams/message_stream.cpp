#include "streams/message_stream.h"

#include "chat/chat_core.h"
#include "platform/clock.h"

std::atomic<long> CJavaClientConnection::s_closedAtCap{0};

void CJavaClientConnection::OnClose(net::CConnection& connection) {
  m_core.DetachStream(m_session, m_core.NodeId(), connection.Id());
}

void CJavaClientConnection::OnDrained(net::CConnection& connection) {
  if (m_replaced) connection.Close();
}

void CJavaClientConnection::EndReplaced(net::CConnection& connection, std::string_view notice) {
  m_replaced = true;
  // Closed as soon as the notice is sent (a close lets the kernel deliver
  // what it holds); a browser that reads nothing gets a little while.
  connection.SetDeadline(platform::Now() + kReplacedFrameDrainSeconds);
  Deliver(connection, notice);
}

void CJavaClientConnection::Deliver(net::CConnection& connection, std::string_view text) {
  connection.Send(text);
  if (!connection.Closed() && connection.PendingOutput() > kStreamOutputCap) {
    ++s_closedAtCap;
    connection.Abort();
  }
}
