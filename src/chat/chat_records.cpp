#include "chat/chat_records.h"

#include "foundation/text.h"
#include "platform/clock.h"

SessionRecord::SessionRecord(const SessionView& view)
    : id(view.id), name(view.name), password(view.password), nodeId(view.nodeId), colour(view.colour),
      ipAddress(view.ipAddress), level(view.level), lastActive(platform::Now()) {}

bool SessionRecord::MaySee(const std::string& senderName) const {
  for (const std::string& name : ignored) {
    if (EqualsFolded(name, senderName)) return false;
  }
  return true;
}

void SessionRecord::Ignore(const std::string& name) {
  if (MaySee(name)) ignored.push_back(name);
}

SessionView ViewOf(const SessionRecord& session) {
  SessionView view;
  view.id = session.id;
  view.name = session.name;
  view.password = session.password;
  view.nodeId = session.nodeId;
  view.colour = session.colour;
  view.ipAddress = session.ipAddress;
  if (session.room != nullptr) {
    view.roomId = session.room->id;
    view.roomName = session.room->name;
  }
  view.level = session.level;
  view.approved = session.approved;
  view.manager = session.manager;
  return view;
}

RoomView ViewOf(const RoomRecord& room, bool withMembers) {
  RoomView view;
  view.id = room.id;
  view.name = room.name;
  view.category = room.category;
  view.background = room.background;
  view.creator = room.creator;
  view.system = room.system;
  view.locked = room.locked;
  view.memberCount = static_cast<int>(room.members.size());
  if (withMembers) {
    view.members.reserve(room.members.size());
    for (const auto& [order, member] : room.members) {
      view.members.push_back(MemberView{member->name, member->nodeId, member->id, member->approved, member->manager});
    }
  }
  return view;
}

EndedSession EndedOf(const SessionRecord& session, bool announce) {
  return EndedSession{ViewOf(session), announce, session.streams};
}
