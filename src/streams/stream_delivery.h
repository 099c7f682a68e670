// CStreamDelivery: the delivery of lines. A line is rendered once per
// stream format in use (a format nobody listens to is never rendered), the
// chat core names the streams that must see it (room -> members -> their
// streams), and each event loop gets one task with the line and its own
// streams, which it writes outside every shared lock. With the node link
// on, a line also leaves as a node record.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chat/chat_views.h"
#include "chat/delivery.h"
#include "foundation/metrics.h"
#include "net/loop_group.h"
#include "streams/message_stream.h"
#include "streams/stream_placement.h"

class CChatCore;

class CStreamDelivery final : public CDelivery {
 public:
  CStreamDelivery(CChatCore& core, net::CLoopGroup& loops);

  bool Deliver(const ChatEvent& event) override;
  void EndStream(std::uint64_t stream, const std::string& lastLine) override;
  // The session's event stream starts over in the room it moved to.
  void SessionMoved(const std::string& session) override;
  void PlaceOwnLine(std::uint64_t key, const std::string& clusterEpoch, std::uint64_t offset) override;
  void ReleaseWaitingLines(int olderThanMs) override;

  // Makes the connection (on its loop's thread) a stream of the session in
  // that format, on the loop of the session's room (the socket moves there
  // when another loop read its request), and sends the answer's head, then
  // what the stream shows first: a message frame the room's latest [general] frame_history lines;
  // an event stream a reset and the latest [general] history_lines lines,
  // or the lines after the position its client names (lastEventId), when
  // the room's history still holds them all.
  void AdoptStream(net::CConnection& connection, const std::string& session, StreamFormat format,
                   const std::string& lastEventId, std::string_view head);
  // Every stream gets its format's keep-alive at this interval, so that
  // proxies and browsers keep a quiet stream open: a timer of each loop
  // sends it to the loop's own streams. Called once, before the loops run.
  void StartKeepAlive(int seconds);

  // The lines said (by kind), the copies of them handed to streams, the
  // streams open and those reset at their output cap.
  void AddMetrics(CMetricRegistry& metrics) const;

 private:
  // The lines of one kind, as the metrics name it.
  struct KindCount {
    MessageKind kind;
    const char* name;
    CCounter said;
  };
  void CountLine(MessageKind kind);
  // Writes the node record of a line that reaches other nodes (in the
  // room's shared order, when it asks for its place there).
  void Record(const ChatEvent& event, const std::optional<LineOrderRequest>& order = std::nullopt);
  // In a cluster whose link reaches Redis, a room line takes its place in
  // the room's order from Redis: true when this one does.
  bool TakesSharedPlace(const ChatEvent& event) const;
  // Records the line and keeps it until the node link reads it back.
  void WaitForPlace(const ChatEvent& event);
  // Shows the line to the streams here that may see it, at its place.
  void Show(const std::shared_ptr<ChatEvent>& event);
  // Hands each loop its share of the recipients, under the order lock;
  // the share of the calling loop, when it may write it at once, is left
  // in ownShare, to be written after the lock is let go.
  void Dispatch(const std::shared_ptr<const RenderedEvent>& line, std::vector<Recipient>& recipients,
                std::vector<Recipient>& ownShare);
  // Ties the stream to its session and sends the head, then what the
  // stream shows first; a stream it replaces (or the stream itself, when
  // its session is gone) is ended. Takes the order lock.
  void Attach(net::CConnection& connection, std::unique_ptr<CMessageStream> stream, std::string_view head,
              const StreamStartRequest& request, const std::string& replacedText);
  // The seat of a new stream of the session: on its room's loop; none in
  // no room (such a stream stays where it is).
  CStreamSeat PlaceStream(const std::string& session);
  // AdoptStream on the loop the stream stays on.
  void StartStream(net::CConnection& connection, const std::string& session, StreamFormat format,
                   const std::string& lastEventId, std::string_view head, CStreamSeat seat);
  CLoopStreams& StreamsOf(std::uint64_t stream) {
    return *m_loopStreams[static_cast<size_t>(net::LoopIndexOf(stream))];
  }

  CChatCore& m_core;
  net::CLoopGroup& m_loops;
  // Lines take their offsets and are handed to the loops in one order, and
  // a stream's start is read and sent between two lines, never across one:
  // every stream gets a room's lines in the order of their offsets.
  std::mutex m_order;
  std::vector<std::unique_ptr<CLoopStreams>> m_loopStreams;  // by loop index
  CStreamPlacement m_placement;
  StreamFigures m_streams;
  KindCount m_lines[6] = {{MessageKind::kChatLine, "chat", {}},  {MessageKind::kPrivateLine, "private", {}},
                          {MessageKind::kSystemLine, "system", {}}, {MessageKind::kNotice, "notice", {}},
                          {MessageKind::kPage, "page", {}},       {MessageKind::kRefusal, "refusal", {}}};
  CCounter m_deliveries;

  // The room lines of this node that wait for their place, by their key.
  struct WaitingLine {
    std::shared_ptr<ChatEvent> event;
    std::int64_t sinceMs = 0;
  };
  std::mutex m_waitingLock;
  std::uint64_t m_nextKey = 0;                  // guarded by m_waitingLock
  std::map<std::uint64_t, WaitingLine> m_waiting;  // guarded by m_waitingLock
};
