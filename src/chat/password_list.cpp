#include "chat/password_list.h"

#include <atomic>

#include "chat/room_list.h"
#include "foundation/settings.h"
#include "nodelink/node_record.h"
#include "platform/console.h"

std::unique_ptr<CPasswordList> g_onlineList;

namespace {
std::atomic<int> g_listNumber{0};

}  // namespace

CPasswordList::CPasswordList()
    : m_sessionTimeout(GetSettingInt("network", "session_timeout")),
      m_lastSweep(platform::Now()),
      m_mutex(platform::OpenNamedMutex("tol2p" + std::to_string(++g_listNumber))) {
  if (m_sessionTimeout == 0) m_sessionTimeout = kDefaultSessionTimeout;
}

CPasswordList::~CPasswordList() { EndAll(); }

void CPasswordList::EndAll() { EndSessions(RemoveAll()); }

std::string CPasswordList::Add(SessionPtr session, int& existed) {
  platform::CMutexGuard guard(*m_mutex);
  existed = 0;
  if (!guard) return std::string();
  return CNamedList::Add(std::move(session), existed);
}

void CPasswordList::Append(SessionPtr session) {
  platform::CMutexGuard guard(*m_mutex);
  if (guard) CNamedList::Append(std::move(session));
}

void CPasswordList::RemoveById(const std::string& id) { EndSessions(CNamedList::RemoveById(id)); }

std::string CPasswordList::FindIdByNameAndNode(const std::string& name, const std::string& nodeId) {
  if (name.empty()) return std::string();
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return std::string();
  const bool anyNode = EqualsFolded(nodeId, kAllNodes);
  SessionPtr found = FindIf([&](const CUserSession& session) {
    return EqualsFolded(session.GetName(), name) && (anyNode || EqualsFolded(session.NodeId(), nodeId));
  });
  return found ? found->GetId() : std::string();
}

SessionPtr CPasswordList::FindByNameLocked(const std::string& name) {
  if (name.empty()) return nullptr;
  platform::CMutexGuard guard(*m_mutex);
  return guard ? FindByName(name) : nullptr;
}

void CPasswordList::CPasswordListSearchUserByName(CTextBuffer& buffer, const std::string& name, int searcherLevel) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const SessionPtr& session : Snapshot()) {
    try {
      if (session->GetName() != name) continue;
      const bool inRoom = !session->InNoRoom();
      if (searcherLevel == kSeeAddressesLevel) {
        if (inRoom) buffer.AppendMany(session->GetName(), "(", session->IpAddress(), "):", session->RoomName(), "&nbsp;");
      } else if (inRoom) {
        buffer.AppendMany(session->GetName(), ":", session->RoomName(), "&nbsp;");
      } else {
        buffer.AppendMany(session->GetName(), "&nbsp;");
      }
    } catch (...) {
      platform::ConsoleWrite("catch in CPasswordListSearchUserByName\n");
    }
  }
}

void CPasswordList::SessionIdleSweep() {
  const std::time_t now = platform::Now();
  std::time_t last = m_lastSweep;
  if (now - last <= kIdleSweepInterval) return;
  Nodes expired;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard || !m_lastSweep.compare_exchange_strong(last, now)) return;
    const std::string ownNode = OwnNodeId();
    const std::time_t localLimit = now - m_sessionTimeout;
    const std::time_t otherLimit = now - static_cast<std::time_t>(kOtherNodeTimeoutFactor) * m_sessionTimeout;
    expired = RemoveIf([&](const CUserSession& session) {
      return session.NodeId() == ownNode ? session.LastActive() < localLimit : session.LastActive() < otherLimit;
    });
  }
  // Expired sessions keep their removal mode: an idle user is announced as
  // having left. The announcement runs after the list is released.
  EndSessions(expired);
}

void CPasswordList::RemoveBySessionAndNode(const std::string& sessionId, const std::string& nodeId) {
  Nodes removed;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard) return;
    removed = RemoveIf([&](const CUserSession& session) {
      return session.GetId() == sessionId && session.NodeId() == nodeId;
    });
  }
  EndSessions(removed);
}

SessionPtr CPasswordList::FindBySessionAndNode(const std::string& sessionId, const std::string& nodeId, bool touch) {
  if (touch) SessionIdleSweep();
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return nullptr;
  SessionPtr found = FindByIdIf(sessionId, [&](const CUserSession& session) { return session.NodeId() == nodeId; });
  if (found && touch) found->Touch();
  return found;
}

CPasswordList::Nodes CPasswordList::SessionsInRoom(const std::string& roomName, bool anyRoom) {
  Nodes found;
  for (const SessionPtr& session : Snapshot()) {
    auto room = g_roomList ? g_roomList->FindById(session->RoomId()) : nullptr;
    if (room && (anyRoom || room->GetName() == roomName)) found.push_back(session);
  }
  return found;
}

void CPasswordList::ListNames(CTextBuffer& buffer) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const SessionPtr& session : SessionsInRoom("", true)) {
    buffer.AppendMany("[<font color=#ff0000>", session->GetName(), "</font>]");
  }
}

void CPasswordList::ListOptions(CTextBuffer& buffer, const std::string& roomName) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const SessionPtr& session : SessionsInRoom(roomName, false)) {
    buffer.AppendMany("<option>", session->GetName(), "</option>");
  }
}

void CPasswordList::CPasswordListToBufferG(CTextBuffer& buffer, const std::string& roomName) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const SessionPtr& session : SessionsInRoom(roomName, false)) {
    try {
      buffer.Append(BuildNodeRecord(RecordLayout::kUserListEntry, {{"UN", session->GetName()},
                                                                  {"SS", session->GetId()},
                                                                  {"ND", session->NodeId()},
                                                                  {"RM", session->RoomName()},
                                                                  {"MN", std::to_string(session->Level())},
                                                                  {"IP", session->IpAddress()}}));
    } catch (...) {
      platform::ConsoleWrite("catch in CPasswordListToBufferG\n");
    }
  }
}

void CPasswordList::OnlineToBuffer(CTextBuffer& buffer, const std::string& roomName) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  const bool nodeLink = NodeLinkOn();
  for (const SessionPtr& session : SessionsInRoom(roomName, false)) {
    const char* mark = session->CUserSessionIsManager() ? "★" : session->CUserSessionIsApproved() ? "☆" : "○";
    buffer.AppendMany("&nbsp;[<a href=\"javascript:parent.choose('", session->GetName());
    if (nodeLink) buffer.AppendMany(":", session->NodeId());
    buffer.AppendMany("');\" target=form>", mark, session->GetName(), "</font></a>]<br>\r\n");
  }
}

void CPasswordList::DeleteNodeSessions(const std::string& nodeId) {
  Nodes removed;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard) return;
    removed = RemoveIf([&](const CUserSession& session) { return EqualsFolded(session.NodeId(), nodeId); });
  }
  for (const SessionPtr& session : removed) session->SetRemovalMode(kSilentRemoval);
  EndSessions(removed);
}

void CPasswordList::DeleteOtherNodeSessions(const std::string& nodeId) {
  Nodes removed;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard) return;
    removed = RemoveIf([&](const CUserSession& session) { return session.NodeId() != nodeId; });
  }
  for (const SessionPtr& session : removed) session->SetRemovalMode(kSilentRemoval);
  EndSessions(removed);
}

SessionPtr CPasswordList::FindByNameTouch(const std::string& name) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return nullptr;
  SessionPtr session = FindByName(name);
  if (session) session->Touch();
  return session;
}
