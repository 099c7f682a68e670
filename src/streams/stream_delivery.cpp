#include "streams/stream_delivery.h"

#include <new>

#include "chat/chat_core.h"
#include "foundation/text.h"
#include "html/message_render.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "streams/event_format.h"
#include "streams/event_stream.h"

namespace {

// Lines of this node that may wait for their place in the rooms' order.
constexpr size_t kMaxWaitingLines = 10000;

// The line as it is kept and shown: a copy, with the time it was said.
std::shared_ptr<ChatEvent> Stamped(const ChatEvent& given) {
  auto event = std::make_shared<ChatEvent>(given);
  if (event->time == 0) event->time = platform::Now();
  return event;
}

std::string_view PersonalType(MessageKind kind) { return kind == MessageKind::kPrivateLine ? "PR" : "PC"; }

// A moved socket's handler until its stream takes over, in the same task:
// what the client sends is dropped, as a stream drops it.
class CDroppedInput final : public net::CConnectionHandler {
 public:
  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
};

// One loop's share of a line.
struct LoopBatch {
  std::shared_ptr<const RenderedEvent> line;
  std::vector<Recipient> recipients;
};

// A line for many streams, with nothing else for the loop to do, is written
// as it is handed out, this many streams at a time: the first streams need
// not wait until the last has it. With more work waiting (another line may
// follow for the same streams), it is written whole at the end of the phase.
constexpr size_t kWriteAsItGoesEvery = 64;

void WriteBatch(net::CEventLoop& loop, const CLoopStreams& streams, const LoopBatch& batch) {
  loop.AssertInLoopThread();
  size_t given = 0;
  for (const Recipient& recipient : batch.recipients) {
    const CLoopStreams::Open* open = streams.Find(recipient.stream);
    if (open == nullptr) continue;  // its client went meanwhile
    try {  // a stream whose output cannot grow misses the line; the others still get it
      open->stream->Take(*open->connection, *batch.line, recipient.addressed);
    } catch (const std::bad_alloc&) {
      platform::LogException("delivering a line", "stream " + std::to_string(recipient.stream));
    }
    if (++given % kWriteAsItGoesEvery == 0 && !loop.OtherWorkWaits()) loop.WriteCoalescedNow();
  }
}

// The keep-alive of every stream of the loop, in its format.
void SendKeepAlive(net::CEventLoop& loop, const CLoopStreams& streams) {
  loop.AssertInLoopThread();
  streams.ForEach([](net::CConnection& connection, CMessageStream& stream) {
    try {
      stream.Send(connection, stream.KeepAlive());
    } catch (const std::bad_alloc&) {
      platform::LogException("keep-alive", "stream " + std::to_string(connection.Id()));
    }
  });
}

void KeepAliveEvery(net::CEventLoop& loop, const CLoopStreams& streams, int milliseconds) {
  loop.RunAfter(milliseconds, [&loop, &streams, milliseconds] {
    SendKeepAlive(loop, streams);
    KeepAliveEvery(loop, streams, milliseconds);
  });
}

bool Uses(const std::vector<Recipient>& recipients, StreamFormat format) {
  for (const Recipient& recipient : recipients) {
    if (recipient.format == format) return true;
  }
  return false;
}

}  // namespace

CStreamDelivery::CStreamDelivery(CChatCore& core, net::CLoopGroup& loops)
    : m_core(core), m_loops(loops), m_placement(loops.Count()) {
  for (int index = 0; index < m_loops.Count(); ++index) m_loopStreams.push_back(std::make_unique<CLoopStreams>());
}

void CStreamDelivery::Dispatch(const std::shared_ptr<const RenderedEvent>& line, std::vector<Recipient>& recipients,
                               std::vector<Recipient>& ownShare) {
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
    batch.line = line;
    // The loop that took the request writes its share at once, unless lines
    // wait in its queue: they were said before this one, and every stream
    // gets lines in the order they were said, whichever loop took each
    // request. It writes after the order lock is let go: lines said later
    // reach its queue, which it reads only once this call is over.
    net::CEventLoop& loop = m_loops.Loop(index);
    const CLoopStreams& streams = *m_loopStreams[static_cast<size_t>(index)];
    if (loop.InLoopThread() && !loop.HasPostedTasks()) {
      ownShare = std::move(batch.recipients);
    } else {
      loop.Post([&loop, &streams, batch = std::move(batch)] { WriteBatch(loop, streams, batch); });
    }
  }
}

void CStreamDelivery::Record(const ChatEvent& event, const std::optional<LineOrderRequest>& order) {
  CNodeLink& link = m_core.NodeLink();
  const std::string text = RecordedText(event);
  if (event.audience == Audience::kRoom) {
    const bool addressed = event.addressed;
    RecordValues values = {{"RM", event.room}, {"CO", event.colour}, {"FR", event.sender}, {"MSG", text}};
    if (addressed) values["PA"] = event.addressee;
    values["FND"] = addressed ? event.senderNode : m_core.NodeId();
    const RecordLayout layout = addressed ? RecordLayout::kRoomLine : RecordLayout::kRoomNotice;
    if (order) {
      link.WriteInOrder(layout, values, *order);
    } else {
      link.Write(layout, values);
    }
  } else if (event.isPrivate) {
    link.Write(RecordLayout::kPrivateLine,
               {{"RM", event.room}, {"CO", event.colour}, {"FR", event.sender}, {"MSG", text}, {"TO", event.addressee},
                {"SS", event.session}, {"ND", event.addresseeNode}, {"FND", event.senderNode}},
               PersonalType(event.kind));
  } else {
    link.Write(RecordLayout::kUserLine,
               {{"RM", event.room}, {"CO", event.colour}, {"FR", event.sender}, {"MSG", text}, {"TO", event.addressee},
                {"SS", event.session}, {"ND", event.addresseeNode}},
               PersonalType(event.kind));
  }
}

bool CStreamDelivery::TakesSharedPlace(const ChatEvent& event) const {
  const CNodeLink& link = m_core.NodeLink();
  return event.audience == Audience::kRoom && event.reach == Reach::kEverywhere && !event.sharedPlace &&
         link.Carried() && link.Up();
}

void CStreamDelivery::WaitForPlace(const ChatEvent& given) {
  const std::shared_ptr<ChatEvent> event = Stamped(given);
  std::uint64_t key = 0;
  std::shared_ptr<ChatEvent> overflow;
  {
    const std::lock_guard<std::mutex> guard(m_waitingLock);
    key = ++m_nextKey;
    m_waiting.emplace(key, WaitingLine{event, platform::MonotonicMs()});
    // Never more than this many wait: the oldest is shown at once instead.
    if (m_waiting.size() > kMaxWaitingLines) {
      overflow = std::move(m_waiting.begin()->second.event);
      m_waiting.erase(m_waiting.begin());
    }
  }
  Record(*event, LineOrderRequest{event->room, key});
  if (overflow) Show(overflow);
}

void CStreamDelivery::PlaceOwnLine(std::uint64_t key, const std::string& clusterEpoch, std::uint64_t offset) {
  std::shared_ptr<ChatEvent> event;
  {
    const std::lock_guard<std::mutex> guard(m_waitingLock);
    const auto found = m_waiting.find(key);
    if (found == m_waiting.end()) return;  // shown already: it waited too long
    event = std::move(found->second.event);
    m_waiting.erase(found);
  }
  event->sharedPlace = SharedPlace{SharedRoomEpoch(clusterEpoch, event->room), offset};
  Show(event);
}

void CStreamDelivery::ReleaseWaitingLines(int olderThanMs) {
  const std::int64_t bornBefore = platform::MonotonicMs() - olderThanMs;
  std::vector<std::shared_ptr<ChatEvent>> released;
  {
    const std::lock_guard<std::mutex> guard(m_waitingLock);
    for (auto line = m_waiting.begin(); line != m_waiting.end();) {
      if (olderThanMs > 0 && line->second.sinceMs > bornBefore) break;  // keys grow with time
      released.push_back(std::move(line->second.event));
      line = m_waiting.erase(line);
    }
  }
  if (!released.empty()) {
    platform::ConsolePrintf("node link: %zu lines shown here without their place in the rooms' order\n",
                            released.size());
  }
  for (const std::shared_ptr<ChatEvent>& event : released) Show(event);
}

bool CStreamDelivery::Deliver(const ChatEvent& given) {
  if (given.colour.empty() || given.sender.empty() || (given.text.empty() && !given.spoken)) return false;
  if (given.isPrivate && given.addressee.empty()) return false;
  CountLine(given.kind);
  const bool linked = m_core.NodeLink().On();
  if (given.reach != Reach::kHere && linked) {
    // Its node shows it when the node link reads it back with its place.
    if (TakesSharedPlace(given)) {
      WaitForPlace(given);
      return true;
    }
    Record(given);
  }
  if (given.reach == Reach::kElsewhere && linked) return true;  // its user is on another node
  const std::shared_ptr<ChatEvent> event = Stamped(given);
  Show(event);
  return true;
}

void CStreamDelivery::Show(const std::shared_ptr<ChatEvent>& event) {
  const bool linked = m_core.NodeLink().On();
  const std::string markedName = MarkedAddresseeName(*event);
  std::vector<Recipient> recipients;
  LoopBatch own;
  {
    const std::lock_guard<std::mutex> order(m_order);
    const std::optional<AppendedLine> appended = m_core.Publish(event, markedName, recipients);
    if (!appended || recipients.empty()) return;
    auto line = std::make_shared<RenderedEvent>();
    line->room = event->room;
    line->epoch = appended->position.epoch;
    line->place = appended->position.place;
    line->newEpoch = appended->newEpoch;
    if (Uses(recipients, StreamFormat::kClassic)) line->classic = RenderClassic(*event, linked);
    if (Uses(recipients, StreamFormat::kEvents)) {
      line->json = std::make_shared<const std::string>(EventLineBytes(*event, line->epoch, line->place));
    }
    Dispatch(line, recipients, own.recipients);
    own.line = line;
  }
  if (!own.recipients.empty()) {
    net::CEventLoop& loop = m_loops.LoopOf(own.recipients.front().stream);
    WriteBatch(loop, *m_loopStreams[static_cast<size_t>(net::LoopIndexOf(own.recipients.front().stream))], own);
  }
}

void CStreamDelivery::Attach(net::CConnection& connection, std::unique_ptr<CMessageStream> stream,
                             std::string_view head, const StreamStartRequest& request,
                             const std::string& replacedText) {
  const std::string session = stream->Session();
  const StreamFormat format = stream->Format();
  CMessageStream& attached = *stream;
  StreamsOf(connection.Id()).Add(connection, stream.get());
  connection.SetHandler(std::move(stream));
  connection.SetReading(true);
  connection.SendWithoutDelay();
  // Runs on the stream's loop: its start goes out before any line said after
  // it was read, as those are handed to the loop only once this lock is free.
  const std::lock_guard<std::mutex> order(m_order);
  StreamStart start;
  // One stream of each format per session: a client that opens it again (a
  // reload, a second window) replaces the old one, which says so and is closed.
  const std::optional<std::uint64_t> replaced =
      m_core.AttachStream(session, m_core.NodeId(), format, connection.Id(), connection.OpenedAtMs(), request, &start);
  connection.Send(head);
  if (!replaced) {
    // The session ended since its request was read: nothing will ever be
    // said to this stream.
    EndStream(connection.Id(), "");
    return;
  }
  if (*replaced != 0) EndStream(*replaced, replacedText);
  // Unless a newer stream of the session is open already (this one ends).
  if (*replaced != connection.Id() && !connection.Closed()) attached.Start(connection, start);
}

CStreamSeat CStreamDelivery::PlaceStream(const std::string& session) {
  const std::optional<SessionView> found = m_core.FindSession(session, m_core.NodeId(), false);
  if (!found || found->InNoRoom()) return {};
  return m_placement.Place(found->roomId);
}

void CStreamDelivery::AdoptStream(net::CConnection& connection, const std::string& session, StreamFormat format,
                                  const std::string& lastEventId, std::string_view head) {
  CStreamSeat seat = PlaceStream(session);
  const int here = connection.Loop().Index();
  if (seat.Loop() < 0 || seat.Loop() == here || connection.PendingOutput() != 0) {
    if (seat.Loop() != here) seat = {};  // it stays here, so it counts nowhere
    StartStream(connection, session, format, lastEventId, head, std::move(seat));
    return;
  }
  // Nothing has been sent on it yet: the socket moves to the room's loop,
  // which sends the head and all the rest.
  struct Moving {
    net::ConnectionSocket socket;
    std::string session;
    StreamFormat format;
    std::string lastEventId;
    std::string head;
    CStreamSeat seat;
  };
  auto moving = std::make_shared<Moving>(
      Moving{connection.HandOver(), session, format, lastEventId, std::string(head), std::move(seat)});
  net::CEventLoop& loop = m_loops.Loop(moving->seat.Loop());
  loop.Post([this, &loop, moving] {
    net::CConnection& moved = loop.AdoptHandedOver(std::move(moving->socket), std::make_unique<CDroppedInput>());
    if (moved.Closed()) return;  // its client went meanwhile
    StartStream(moved, moving->session, moving->format, moving->lastEventId, moving->head, std::move(moving->seat));
  });
}

void CStreamDelivery::StartStream(net::CConnection& connection, const std::string& session, StreamFormat format,
                                  const std::string& lastEventId, std::string_view head, CStreamSeat seat) {
  CLoopStreams& streams = StreamsOf(connection.Id());
  std::unique_ptr<CMessageStream> stream;
  StreamStartRequest request;
  std::string replacedText;
  if (format == StreamFormat::kEvents) {
    stream = std::make_unique<CEventStreamConnection>(m_core, session, m_streams, streams);
    request = {static_cast<size_t>(m_core.Settings().historyLines), ParseEventId(lastEventId)};
    replacedText = kReplacedEventStreamText;
  } else {
    stream = std::make_unique<CJavaClientConnection>(m_core, session, m_streams, streams);
    request = {static_cast<size_t>(m_core.Settings().frameHistory), std::nullopt};
    replacedText = kReplacedFrameText;
  }
  stream->TakeSeat(std::move(seat));
  Attach(connection, std::move(stream), head, request, replacedText);
}

void CStreamDelivery::SessionMoved(const std::string& session) {
  const StreamStartRequest latest{static_cast<size_t>(m_core.Settings().historyLines), std::nullopt};
  auto start = std::make_shared<StreamStart>();
  // Between two lines: those said before are in the start or went out
  // before it; those said after come after it.
  const std::lock_guard<std::mutex> order(m_order);
  const std::uint64_t stream = m_core.RestartStream(session, m_core.NodeId(), StreamFormat::kEvents, latest, *start);
  if (stream == 0 || net::LoopIndexOf(stream) >= m_loops.Count()) return;
  net::CEventLoop& loop = m_loops.LoopOf(stream);
  loop.Post([&loop, &streams = StreamsOf(stream), stream, start] {
    loop.AssertInLoopThread();
    if (const CLoopStreams::Open* open = streams.Find(stream)) open->stream->Start(*open->connection, *start);
  });
}

void CStreamDelivery::EndStream(std::uint64_t stream, const std::string& lastLine) {
  if (net::LoopIndexOf(stream) >= m_loops.Count()) return;
  // Posted even on the stream's own loop: the lines said to it before wait
  // in the same queue (or went out already), so they come first.
  net::CEventLoop& loop = m_loops.LoopOf(stream);
  loop.Post([&loop, &streams = StreamsOf(stream), stream, lastLine] {
    loop.AssertInLoopThread();
    const CLoopStreams::Open* open = streams.Find(stream);
    if (open == nullptr) return;  // its client went meanwhile
    open->stream->End(*open->connection, lastLine);
  });
}

void CStreamDelivery::StartKeepAlive(int seconds) {
  for (int index = 0; index < m_loops.Count(); ++index) {
    net::CEventLoop& loop = m_loops.Loop(index);
    loop.Post([&loop, &streams = *m_loopStreams[static_cast<size_t>(index)], seconds] {
      KeepAliveEvery(loop, streams, seconds * 1000);
    });
  }
}

void CStreamDelivery::CountLine(MessageKind kind) {
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
  m_placement.AddMetrics(metrics);
  metrics.Add("tolvan_line_deliveries_total", "Copies of lines handed to message streams", m_deliveries);
  metrics.Add("tolvan_streams_open", "Message streams (open message frames) on this node", m_streams.open);
  metrics.Add("tolvan_streams_reset_at_cap_total",
              "Message streams reset because more than the output cap waited for their browser", m_streams.closedAtCap);
}
