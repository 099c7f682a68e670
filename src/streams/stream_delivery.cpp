#include "streams/stream_delivery.h"

#include <new>

#include "chat/chat_core.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/message_render.h"
#include "platform/console.h"
#include "streams/message_stream.h"

namespace {

constexpr size_t kShownSenderLimit = 40;
constexpr size_t kShownNodeLimit = 20;

std::string Cut(const std::string& text) { return std::string(CutToCharacters(text, kLineLimit)); }
std::string_view PersonalType(int kind) { return kind == kPrivateLine ? "PR" : "PC"; }

// The name a recipient's ignore list is checked against.
std::string IgnoredName(const std::string& sender) { return NamePart(CutToCharacters(sender, kShownNameLimit)); }

std::string WithNode(const std::string& name, const std::string& node) {
  std::string shown(CutToCharacters(name, kShownSenderLimit));
  if (!node.empty()) shown += ":" + std::string(CutToCharacters(node, kShownNodeLimit));
  return shown;
}

// One loop's share of a line.
struct LoopBatch {
  std::shared_ptr<const std::string> toAddressee;
  std::shared_ptr<const std::string> toOthers;
  std::vector<Recipient> recipients;
};

void WriteBatch(net::CEventLoop& loop, const LoopBatch& batch, StreamFigures& figures) {
  for (const Recipient& recipient : batch.recipients) {
    if (net::CConnection* stream = loop.Find(recipient.stream)) {
      try {  // a stream whose output cannot grow misses the line; the others still get it
        CJavaClientConnection::Deliver(*stream, recipient.addressed ? *batch.toAddressee : *batch.toOthers, figures);
      } catch (const std::bad_alloc&) {
        platform::LogException("delivering a line", "stream " + std::to_string(recipient.stream));
      }
    }
  }
}

// The keep-alive: three blanks into every stream of the loop.
void SendKeepAlive(net::CEventLoop& loop, StreamFigures& figures) {
  std::vector<net::CConnection*> streams;
  loop.ForEachConnection([&](net::CConnection& connection) {
    if (dynamic_cast<CJavaClientConnection*>(connection.Handler()) != nullptr) streams.push_back(&connection);
  });
  for (net::CConnection* stream : streams) {
    try {
      CJavaClientConnection::Deliver(*stream, "   ", figures);
    } catch (const std::bad_alloc&) {
      platform::LogException("keep-alive", "stream " + std::to_string(stream->Id()));
    }
  }
}

void KeepAliveEvery(net::CEventLoop& loop, int milliseconds, StreamFigures& figures) {
  loop.RunAfter(milliseconds, [&loop, milliseconds, &figures] {
    SendKeepAlive(loop, figures);
    KeepAliveEvery(loop, milliseconds, figures);
  });
}

}  // namespace

void CStreamDelivery::Dispatch(const Text& toAddressee, const Text& toOthers, std::vector<Recipient>& recipients) {
  if (recipients.empty()) return;
  m_deliveries.Add(recipients.size());
  std::vector<LoopBatch> batches(static_cast<size_t>(m_loops.Count()));
  for (const Recipient& recipient : recipients) {
    const int loop = net::LoopIndexOf(recipient.stream);
    if (loop < m_loops.Count()) batches[static_cast<size_t>(loop)].recipients.push_back(recipient);
  }
  for (int index = 0; index < m_loops.Count(); ++index) {
    LoopBatch& batch = batches[static_cast<size_t>(index)];
    if (batch.recipients.empty()) continue;
    batch.toAddressee = toAddressee;
    batch.toOthers = toOthers;
    // The loop that took the request writes its share at once, unless lines
    // wait in its queue: they were said before this one, and every stream
    // gets lines in the order they were said, whichever loop took each request.
    net::CEventLoop& loop = m_loops.Loop(index);
    if (loop.InLoopThread() && !loop.HasPostedTasks()) {
      WriteBatch(loop, batch, m_streams);
    } else {
      loop.Post([&loop, batch = std::move(batch), &figures = m_streams] { WriteBatch(loop, batch, figures); });
    }
  }
}

int CStreamDelivery::PostRoomMessage(const std::string& senderNode, const std::string& addressee, int localOnly,
                                     const std::string& room, int kind, const std::string& colour,
                                     const std::string& sender, const std::string& line) {
  if (colour.empty() || sender.empty() || line.empty()) return 0;
  CountLine(kind);
  const RenderedLine rendered{senderNode, sender, addressee, Cut(line), colour, kind};
  if (!localOnly && m_core.NodeLink().On()) {
    m_core.NodeLink().Write(RecordLayout::kRoomLine, {{"RM", room},
                                                      {"CO", colour},
                                                      {"FR", sender},
                                                      {"MSG", rendered.line},
                                                      {"PA", addressee},
                                                      {"FND", senderNode}});
  }
  const RenderedChatLine chatLine(rendered, m_core.NodeLink().On());
  std::vector<Recipient> recipients;
  m_core.CollectRoomRecipients(room, kind, IgnoredName(sender), chatLine.addresseeName, true, recipients);
  Dispatch(std::make_shared<const std::string>(chatLine.toAddressee), std::make_shared<const std::string>(chatLine.toOthers),
           recipients);
  return 1;
}

int CStreamDelivery::PostRoomNotice(int localOnly, const std::string& room, int kind, const std::string& colour,
                                    const std::string& sender, const std::string& text, const std::string&) {
  if (colour.empty() || sender.empty() || text.empty()) return 0;
  CountLine(kind);
  const RenderedLine rendered{"", sender, "", Cut(text), colour, kind};
  if (!localOnly && m_core.NodeLink().On()) {
    m_core.NodeLink().Write(RecordLayout::kRoomNotice, {{"RM", room},
                                                        {"CO", colour},
                                                        {"FR", sender},
                                                        {"MSG", rendered.line},
                                                        {"FND", m_core.NodeId()}});
  }
  std::vector<Recipient> recipients;
  m_core.CollectRoomRecipients(room, kind, IgnoredName(sender), std::string(), true, recipients);
  const Text shown = std::make_shared<const std::string>(RenderMessage2(rendered, m_core.NodeLink().On()));
  Dispatch(shown, shown, recipients);
  return 1;
}

void CStreamDelivery::DeliverPersonal(const std::string& session, const std::string& room, int mode, int kind,
                                      const std::string& senderName, const std::string& text) {
  std::vector<Recipient> recipients;
  if (mode > 2) {
    m_core.CollectManagerRecipients(room, senderName, recipients);
  } else {
    m_core.CollectSessionRecipients(room, session, kind, senderName, recipients);
  }
  const Text shown = std::make_shared<const std::string>(text);
  Dispatch(shown, shown, recipients);
}

int CStreamDelivery::PostPrivateMessage(const std::string& senderNode, const std::string& addresseeNode,
                                        const std::string& addresseeSession, const std::string& room, int kind,
                                        const std::string& colour, const std::string& sender,
                                        const std::string& line, const std::string& addressee, int localMode) {
  if (colour.empty() || sender.empty() || line.empty() || addressee.empty()) return 0;
  CountLine(kind);
  const std::string text = Cut(line);
  if (localMode == kRecordOnly && m_core.NodeLink().On()) {
    m_core.NodeLink().Write(RecordLayout::kPrivateLine,
                            {{"RM", room}, {"CO", colour}, {"FR", sender}, {"MSG", text}, {"TO", addressee},
                             {"SS", addresseeSession}, {"ND", addresseeNode}, {"FND", senderNode}},
                            PersonalType(kind));
    return 1;
  }
  const RenderedLine rendered{senderNode, WithNode(sender, senderNode), WithNode(addressee, addresseeNode), text,
                              colour, kind};
  DeliverPersonal(addresseeSession, room, localMode + 1, kind, IgnoredName(rendered.sender),
                  RenderMessage2(rendered, m_core.NodeLink().On()));
  return 1;
}

int CStreamDelivery::PostUserMessage(const std::string& node, const std::string& session, const std::string& room,
                                     int kind, const std::string& colour, const std::string& sender,
                                     const std::string& text, const std::string& addressee, int localMode) {
  if (colour.empty() || sender.empty() || text.empty()) return 0;
  CountLine(kind);
  if (localMode == kRecordOnly && m_core.NodeLink().On()) {
    m_core.NodeLink().Write(RecordLayout::kUserLine,
                            {{"RM", room}, {"CO", colour}, {"FR", sender}, {"MSG", Cut(text)}, {"TO", addressee},
                             {"SS", session}, {"ND", node}},
                            PersonalType(kind));
    return 1;
  }
  const RenderedLine rendered{node, sender, addressee, text, colour, kind};
  DeliverPersonal(session, room, localMode + 1, kind, IgnoredName(sender), RenderMessage2(rendered, m_core.NodeLink().On()));
  return 1;
}

void CStreamDelivery::AdoptStream(net::CConnection& connection, const std::string& session) {
  connection.SetHandler(std::make_unique<CJavaClientConnection>(m_core, session, m_streams));
  connection.SetReading(true);
  connection.SendWithoutDelay();
  // One message frame per session: a browser that opens it again (a reload,
  // a second window) replaces the old one, which says so and is closed.
  const std::optional<std::uint64_t> replaced =
      m_core.AttachStream(session, m_core.NodeId(), connection.Id(), connection.OpenedAtMs());
  if (!replaced) {
    // The session ended since its request was read: nothing will ever be
    // said to this frame.
    EndStream(connection.Id(), "");
  } else if (*replaced != 0) {
    EndStream(*replaced, kReplacedFrameText);
  }
}

void CStreamDelivery::EndStream(std::uint64_t stream, const std::string& lastLine) {
  if (net::LoopIndexOf(stream) >= m_loops.Count()) return;
  std::string shown;
  if (!lastLine.empty()) {
    shown = RenderMessage2(RenderedLine{"", GetSetting("text", "MSG_SYSTEM"), "", lastLine, "", kSystemLine},
                           m_core.NodeLink().On());
  }
  // Posted even on the stream's own loop: the lines said to it before wait
  // in the same queue (or went out already), so they come first.
  net::CEventLoop& loop = m_loops.LoopOf(stream);
  loop.Post([&loop, stream, shown = std::move(shown)] {
    net::CConnection* connection = loop.Find(stream);
    if (connection == nullptr) return;  // its browser went meanwhile
    if (auto* frame = dynamic_cast<CJavaClientConnection*>(connection->Handler())) frame->End(*connection, shown);
  });
}

void CStreamDelivery::StartKeepAlive(int seconds) {
  for (int index = 0; index < m_loops.Count(); ++index) {
    net::CEventLoop& loop = m_loops.Loop(index);
    loop.Post([&loop, seconds, &figures = m_streams] { KeepAliveEvery(loop, seconds * 1000, figures); });
  }
}

void CStreamDelivery::CountLine(int kind) {
  for (KindCount& count : m_lines) {
    if (count.kind == kind) count.said.Add();
  }
}

void CStreamDelivery::AddMetrics(CMetricRegistry& metrics) const {
  for (const KindCount& count : m_lines) {
    metrics.Add("tolvan_lines_total",
                "Lines handed to the delivery, by kind; a private line or page counts again for the speaker's copy",
                count.said, {{"kind", count.name}});
  }
  metrics.Add("tolvan_line_deliveries_total", "Copies of lines handed to message streams", m_deliveries);
  metrics.Add("tolvan_streams_open", "Message streams (open message frames) on this node", m_streams.open);
  metrics.Add("tolvan_streams_reset_at_cap_total",
              "Message streams reset because more than the output cap waited for their browser", m_streams.closedAtCap);
}
