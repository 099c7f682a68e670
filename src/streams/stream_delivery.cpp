#include "streams/stream_delivery.h"

#include "chat/room_list.h"
#include "foundation/settings.h"
#include "nodelink/message_list.h"
#include "platform/console.h"
#include "streams/stream_list.h"

namespace {

constexpr size_t kShownSenderLimit = 40;
constexpr size_t kShownNodeLimit = 20;

std::string Cut(const std::string& text) { return text.substr(0, kLineLimit); }
std::string_view PersonalType(int kind) { return kind == kPrivateLine ? "PR" : "PC"; }

// The stream's user in the line's room, when he may see a line of this kind.
struct Member {
  RoomPtr room;
  SessionPtr session;
};

// What one delivery looks up once, not once per stream: the line's room
// and the settings.
struct Walk {
  explicit Walk(const std::string& roomName) : room(g_roomList ? g_roomList->FindByName(roomName) : nullptr) {}
  RoomPtr room;
  std::string ownNode = OwnNodeId();
  bool nodeLink = NodeLinkOn();
};

Member FindMember(const CJavaClientConnection& stream, const Walk& walk) {
  Member member;
  if (stream.Session().empty() || !walk.room) return member;
  member.room = walk.room;
  member.session = walk.room->Members().FindBySessionAndNode(stream.Session(), walk.ownNode);
  return member;
}

bool MaySee(const CUserSession& member, int kind, bool refusalsToo) {
  return member.CUserSessionIsApproved() || kind == kSystemLine || (refusalsToo && kind == kRefusal);
}

// A line for the room's approved members (SSPBMSG1 and its notice twin).
void WalkRoom(const std::string& roomName, int kind, const char* catchName,
              const std::function<void(CJavaClientConnection&, const Member&, bool)>& send) {
  const Walk walk(roomName);
  if (!g_streamList || !walk.room) return;
  g_streamList->ForEach([&](CJavaClientConnection& stream) {
    try {
      const Member member = FindMember(stream, walk);
      if (!member.session || member.session->RoomName() != roomName || !MaySee(*member.session, kind, true)) return;
      send(stream, member, walk.nodeLink);
    } catch (...) {
      platform::ConsolePrintf("catch in %s\n", catchName);
    }
  });
}

// A line for one session, or for the room's managers (SSPRMSG2).
void WalkPersonal(const std::string& targetSession, const std::string& roomName, int mode, const RenderedLine& line) {
  const Walk walk(roomName);
  if (!g_streamList || !walk.room) return;
  g_streamList->ForEach([&](CJavaClientConnection& stream) {
    try {
      const Member member = FindMember(stream, walk);
      if (!member.session) return;
      if (mode > 2) {
        if (!member.session->CUserSessionIsManager()) return;
      } else if (stream.Session() != targetSession || member.session->RoomName() != roomName ||
                 !MaySee(*member.session, line.kind, false)) {
        return;
      }
      stream.SendMessage2(line, member.session.get(), member.room.get(), walk.nodeLink);
    } catch (...) {
      platform::ConsoleWrite("catch in SSPRMSG2\n");
    }
  });
}

std::string WithNode(const std::string& name, const std::string& node) {
  std::string shown = name.substr(0, kShownSenderLimit);
  if (!node.empty()) shown += ":" + node.substr(0, kShownNodeLimit);
  return shown;
}

}  // namespace

int CStreamDelivery::PostRoomMessage(const std::string& senderNode, const std::string& addressee, int localOnly,
                                     const std::string& room, int kind, const std::string& colour,
                                     const std::string& sender, const std::string& line) {
  if (colour.empty() || sender.empty() || line.empty()) return 0;
  const RenderedLine rendered{senderNode, sender, addressee, Cut(line), colour, kind};
  if (!localOnly && NodeLinkOn()) {
    WriteNodeRecord(RecordLayout::kRoomLine, {{"RM", room},
                                              {"CO", colour},
                                              {"FR", sender},
                                              {"MSG", rendered.line},
                                              {"PA", addressee},
                                              {"FND", senderNode}});
  }
  const RenderedChatLine chatLine(rendered, NodeLinkOn());
  WalkRoom(room, kind, "SSPBMSG1", [&](CJavaClientConnection& stream, const Member& member, bool) {
    stream.SendChatLine(chatLine, sender, *member.session);
  });
  return 1;
}

int CStreamDelivery::PostRoomNotice(int localOnly, const std::string& room, int kind, const std::string& colour,
                                    const std::string& sender, const std::string& text, const std::string&) {
  if (colour.empty() || sender.empty() || text.empty()) return 0;
  const RenderedLine rendered{"", sender, "", Cut(text), colour, kind};
  if (!localOnly && NodeLinkOn()) {
    WriteNodeRecord(RecordLayout::kRoomNotice,
                    {{"RM", room}, {"CO", colour}, {"FR", sender}, {"MSG", rendered.line}, {"FND", OwnNodeId()}});
  }
  WalkRoom(room, kind, "CServerListJavaSendPublicMessage",
           [&](CJavaClientConnection& stream, const Member& member, bool nodeLink) {
             stream.SendMessage2(rendered, member.session.get(), member.room.get(), nodeLink);
           });
  return 1;
}

int CStreamDelivery::PostPrivateMessage(const std::string& senderNode, const std::string& addresseeNode,
                                        const std::string& addresseeSession, const std::string& room, int kind,
                                        const std::string& colour, const std::string& sender,
                                        const std::string& line, const std::string& addressee, int localMode) {
  if (colour.empty() || sender.empty() || line.empty() || addressee.empty()) return 0;
  const std::string text = Cut(line);
  if (localMode == kRecordOnly && NodeLinkOn()) {
    WriteNodeRecord(RecordLayout::kPrivateLine,
                    {{"RM", room}, {"CO", colour}, {"FR", sender}, {"MSG", text}, {"TO", addressee},
                     {"SS", addresseeSession}, {"ND", addresseeNode}, {"FND", senderNode}},
                    PersonalType(kind));
    return 1;
  }
  const RenderedLine rendered{senderNode, WithNode(sender, senderNode), WithNode(addressee, addresseeNode), text,
                              colour, kind};
  WalkPersonal(addresseeSession, room, localMode + 1, rendered);
  return 1;
}

int CStreamDelivery::PostUserMessage(const std::string& node, const std::string& session, const std::string& room,
                                     int kind, const std::string& colour, const std::string& sender,
                                     const std::string& text, const std::string& addressee, int localMode) {
  if (colour.empty() || sender.empty() || text.empty()) return 0;
  if (localMode == kRecordOnly && NodeLinkOn()) {
    WriteNodeRecord(RecordLayout::kUserLine,
                    {{"RM", room}, {"CO", colour}, {"FR", sender}, {"MSG", Cut(text)}, {"TO", addressee},
                     {"SS", session}, {"ND", node}},
                    PersonalType(kind));
    return 1;
  }
  WalkPersonal(session, room, localMode + 1, RenderedLine{node, sender, addressee, text, colour, kind});
  return 1;
}

// Help pages are not built yet; a HELP command shows nothing.
void CStreamDelivery::ShowHelp(int, const std::string&, const std::string&, const std::string&) {}

void SendKeepAliveToAllStreams() {
  if (!g_streamList) return;
  g_streamList->ForEach([](CJavaClientConnection& stream) {
    try {
      stream.SendSpace();
    } catch (...) {
      platform::ConsoleWrite("catch in CServerListJavaSendPublicSpace\n");
    }
  });
}
