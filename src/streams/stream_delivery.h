// CStreamDelivery: the four delivery operations. A line is rendered once,
// the chat core names the streams that must see it (room -> members ->
// their streams), and each event loop gets one task with the line and its
// own streams, which it writes outside every shared lock. With the node link
// on, a line also leaves as a node record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chat/chat_views.h"
#include "chat/delivery.h"
#include "foundation/metrics.h"
#include "net/loop_group.h"
#include "streams/message_stream.h"

class CChatCore;

class CStreamDelivery final : public CDelivery {
 public:
  CStreamDelivery(CChatCore& core, net::CLoopGroup& loops) : m_core(core), m_loops(loops) {}

  int PostRoomMessage(const std::string& senderNode, const std::string& addressee, int localOnly,
                      const std::string& room, int kind, const std::string& colour, const std::string& sender,
                      const std::string& line) override;
  int PostRoomNotice(int localOnly, const std::string& room, int kind, const std::string& colour,
                     const std::string& sender, const std::string& text, const std::string& session) override;
  int PostPrivateMessage(const std::string& senderNode, const std::string& addresseeNode,
                         const std::string& addresseeSession, const std::string& room, int kind,
                         const std::string& colour, const std::string& sender, const std::string& line,
                         const std::string& addressee, int localMode) override;
  int PostUserMessage(const std::string& node, const std::string& session, const std::string& room, int kind,
                      const std::string& colour, const std::string& sender, const std::string& text,
                      const std::string& addressee, int localMode) override;
  void EndStream(std::uint64_t stream, const std::string& lastLine) override;

  // Makes the connection (on its loop's thread) the message stream of the session.
  void AdoptStream(net::CConnection& connection, const std::string& session);
  // Every stream gets a keep-alive (three blanks) at this interval, so that
  // proxies and browsers keep a quiet frame open: a timer of each loop
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
  void CountLine(int kind);
  using Text = std::shared_ptr<const std::string>;
  // Hands each loop its share of the recipients: the addressed ones get
  // the first text, the others the second.
  void Dispatch(const Text& toAddressee, const Text& toOthers, std::vector<Recipient>& recipients);
  // A personal line: to one session (mode up to 2) or the room's managers.
  void DeliverPersonal(const std::string& session, const std::string& room, int mode, int kind,
                       const std::string& senderName, const std::string& text);

  CChatCore& m_core;
  net::CLoopGroup& m_loops;
  StreamFigures m_streams;
  KindCount m_lines[6] = {{kChatLine, "chat", {}},   {kPrivateLine, "private", {}}, {kSystemLine, "system", {}},
                          {kNotice, "notice", {}},   {kPage, "page", {}},           {kRefusal, "refusal", {}}};
  CCounter m_deliveries;
};
