#include "streams/message_stream.h"

#include <vector>

#include "chat/chat_core.h"
#include "foundation/settings.h"
#include "platform/clock.h"

CMessageStream::CMessageStream(CChatCore& core, std::string session, StreamFigures& figures, CLoopStreams& streams)
    : m_core(core), m_session(std::move(session)), m_figures(figures), m_streams(streams) {
  m_figures.open.Add();
}

CMessageStream::~CMessageStream() { m_figures.open.Subtract(); }

void CMessageStream::OnClose(net::CConnection& connection) {
  m_streams.Remove(connection.Id());
  m_core.DetachStream(m_session, m_core.NodeId(), connection.Id());
}

void CMessageStream::OnDrained(net::CConnection& connection) {
  if (m_ending) connection.Close();
}

void CMessageStream::End(net::CConnection& connection, const std::string& lastLine) {
  if (m_ending) return;
  m_ending = true;
  // Closed as soon as everything is sent (a close lets the kernel deliver
  // what it holds); a client that reads nothing gets a little while.
  connection.SetDeadline(platform::Now() + kEndingFrameDrainSeconds);
  Send(connection, LastWords(lastLine));
  if (!connection.Closed() && connection.PendingOutput() == 0) connection.Close();
}

void CMessageStream::Send(net::CConnection& connection, std::string_view bytes) {
  connection.SendCoalesced(bytes);
  if (!connection.Closed() && connection.PendingOutput() > kStreamOutputCap) {
    m_figures.closedAtCap.Add();
    connection.Abort();
  }
}

void CLoopStreams::ForEach(const std::function<void(net::CConnection&, CMessageStream&)>& visit) const {
  // A visit may close its stream, which leaves this list.
  std::vector<net::ConnectionId> ids;
  ids.reserve(m_streams.size());
  for (const auto& [id, open] : m_streams) ids.push_back(id);
  for (const net::ConnectionId id : ids) {
    if (const Open* open = Find(id)) visit(*open->connection, *open->stream);
  }
}

std::string CJavaClientConnection::LastWords(const std::string& lastLine) {
  if (lastLine.empty()) return std::string();
  return RenderMessage2(RenderedLine{"", GetSetting("text", "MSG_SYSTEM"), "", lastLine, "", MessageKind::kSystemLine},
                        Core().NodeLink().On());
}

void CJavaClientConnection::Start(net::CConnection& connection, const StreamStart& start) {
  const bool nodeLink = Core().NodeLink().On();
  for (const HistoryLine& line : start.lines) {
    if (connection.Closed()) return;
    const bool addressed = start.viewerName == MarkedAddresseeName(*line.event);
    Send(connection, RenderClassic(*line.event, nodeLink).For(addressed));
  }
}
