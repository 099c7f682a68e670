#include "streams/message_stream.h"

#include "chat/chat_core.h"
#include "platform/clock.h"

CJavaClientConnection::CJavaClientConnection(CChatCore& core, std::string session, StreamFigures& figures)
    : m_core(core), m_session(std::move(session)), m_figures(figures) {
  m_figures.open.Add();
}

CJavaClientConnection::~CJavaClientConnection() { m_figures.open.Subtract(); }

void CJavaClientConnection::OnClose(net::CConnection& connection) {
  m_core.DetachStream(m_session, m_core.NodeId(), connection.Id());
}

void CJavaClientConnection::OnDrained(net::CConnection& connection) {
  if (m_ending) connection.Close();
}

void CJavaClientConnection::End(net::CConnection& connection, std::string_view lastLine) {
  if (m_ending) return;
  m_ending = true;
  // Closed as soon as everything is sent (a close lets the kernel deliver
  // what it holds); a browser that reads nothing gets a little while.
  connection.SetDeadline(platform::Now() + kEndingFrameDrainSeconds);
  Deliver(connection, lastLine, m_figures);
  if (!connection.Closed() && connection.PendingOutput() == 0) connection.Close();
}

void CJavaClientConnection::Deliver(net::CConnection& connection, std::string_view text, StreamFigures& figures) {
  connection.Send(text);
  if (!connection.Closed() && connection.PendingOutput() > kStreamOutputCap) {
    figures.closedAtCap.Add();
    connection.Abort();
  }
}
