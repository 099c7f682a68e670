#include "chat/user_session.h"

#include "chat/room_events.h"
#include "chat/room_list.h"
#include "foundation/settings.h"
#include "nodelink/message_list.h"
#include "platform/console.h"

namespace {
std::string IfNamed(const std::string& name, const std::string& value) { return name.empty() ? std::string() : value; }
}  // namespace

CUserSession::CUserSession(const std::string& name, const std::string& password, const std::string& roomId,
                           const std::string& colour, const std::string& roomName, const std::string& nodeId,
                           const std::string& sessionId, int level, const std::string& ipAddress)
    : CNamedNode(name, password, sessionId),
      m_lastActive(platform::Now()),
      m_colour(colour.substr(0, kColourLimit)),
      m_roomId(IfNamed(name, roomId)),
      m_roomName(IfNamed(name, roomName)),
      m_nodeId(IfNamed(name, nodeId)),
      m_level(level),
      m_ipAddress(IfNamed(name, ipAddress)) {}

void CUserSession::Touch() { m_lastActive = platform::Now(); }

void CUserSession::Ignore(const std::string& name) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> guard(m_ignoreLock);
  for (const std::string& ignored : m_ignoreList) {
    if (EqualsFolded(ignored, name)) return;
  }
  m_ignoreList.push_back(name);
}

bool CUserSession::IsIgnoring(const std::string& name) const {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> guard(m_ignoreLock);
  for (const std::string& ignored : m_ignoreList) {
    if (EqualsFolded(ignored, name)) return true;
  }
  return false;
}

void CUserSession::ClearIgnoreList() {
  std::lock_guard<std::mutex> guard(m_ignoreLock);
  m_ignoreList.clear();
}

void EndSession(const SessionPtr& session) {
  if (!session || !session->MarkEnded()) return;
  try {
    if (session->RemovalMode() == kAnnounceRemoval) {
      if (!session->InNoRoom()) LeaveRoomMessage(*session);
      EmitNodeRecord(RecordLayout::kLeave, {{"ND", session->NodeId()},
                                            {"UN", session->GetName()},
                                            {"RM", session->RoomName()},
                                            {"SS", session->GetId()},
                                            {"MN", std::to_string(session->Level())}});
    }
    if (!session->InNoRoom() && g_roomList) {
      if (auto room = g_roomList->FindByName(session->RoomName())) room->CountOut();
    }
    session->ClearIgnoreList();
  } catch (...) {
    platform::ConsoleWrite("catch in ~CUserSession\n");
  }
}

void EndSessions(const std::vector<SessionPtr>& sessions) {
  for (const SessionPtr& session : sessions) EndSession(session);
}
