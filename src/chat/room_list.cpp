#include "chat/room_list.h"

#include <array>

#include "chat/manager_list.h"
#include "chat/room_events.h"
#include "foundation/settings.h"
#include "platform/console.h"
#include "platform/thread.h"

std::unique_ptr<CRoomList> g_roomList;

namespace {
const std::array<const char*, 5> kUserCategories = {"情感", "娱乐", "体育", "技术", "其它"};

bool IsNamedUserCategory(const std::string& category) {
  return category == "情感" || category == "技术" || category == "体育" || category == "娱乐";
}

std::string JoinLink(const std::string& viewer, const std::string& room) {
  return "/Blank?session=" + viewer + "&message=/join%20" + room;
}
}  // namespace

bool RoomPassesCategoryFilter(CRoomSession& room, const std::string& requested) {
  std::string category = room.GetCategory();
  if (category.empty()) {
    category = kOtherCategory;
    room.SetCategory(category);
  }
  if (category != requested &&
      !(requested == kOtherCategory && !room.IsSystem() && !IsNamedUserCategory(category))) {
    return false;
  }
  return !(requested == kSystemCategory && category == kSystemCategory && !room.IsSystem());
}

CRoomList::CRoomList() : m_mutex(platform::OpenNamedMutex("tol2roomlist")), m_lastSweep(platform::Now()) {}

CRoomList::~CRoomList() {
  for (const RoomPtr& room : RemoveAll()) DestroyRoom(room);
}

void CRoomList::DestroyRoom(const RoomPtr& room) {
  // Its members' leave notices reach nobody: the room is out of the list.
  room->Members().EndAll();
}

std::string CRoomList::CRoomListEnterRoom(RoomPtr room, int& existed) {
  platform::CMutexGuard guard(*m_mutex);
  existed = 0;
  if (!guard) return std::string();
  const std::string id = Add(std::move(room), existed);
  if (!id.empty()) {
    if (RoomPtr entered = FindById(id)) entered->IncMemberCount();
  }
  return id;
}

std::string CRoomList::CRoomListAddRoom(RoomPtr room, int& existed) {
  platform::CMutexGuard guard(*m_mutex);
  existed = 0;
  if (!guard) return std::string();
  return Add(std::move(room), existed);
}

bool CRoomList::CRoomListLeaveRoom(const std::string& roomId) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return false;
  RoomPtr room = FindById(roomId);
  if (!room || room->DecMemberCount() != 0) return false;
  room->SetEmptySince(platform::Now());
  return true;
}

void CRoomList::CRoomListRemoveRoom(const std::string& roomName) {
  Nodes removed;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard) return;
    RoomPtr room = FindByName(roomName);
    if (!room) return;
    removed = Remove(room);
  }
  for (const RoomPtr& room : removed) DestroyRoom(room);
}

CRoomList::Nodes CRoomList::OccupiedRooms() const {
  Nodes rooms;
  for (const RoomPtr& room : Snapshot()) {
    if (room->GetMemberCount() > 0) rooms.push_back(room);
  }
  return rooms;
}

std::string CRoomList::CRoomSessionFindSessionByName(const std::string& userName, const std::string& nodeId) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      std::string id = room->Members().FindIdByNameAndNode(userName, nodeId);
      if (!id.empty()) return id;
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomSessionFindSessionByName\n");
    }
  }
  return std::string();
}

void CRoomList::CRoomSessionSearchUserByName(CTextBuffer& buffer, const std::string& name, int searcherLevel) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      room->Members().CPasswordListSearchUserByName(buffer, name, searcherLevel);
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomSessionSearchUserByName\n");
    }
  }
}

SessionPtr CRoomList::CRoomSessionListFindUserSession(const std::string& sessionId, const std::string& nodeId) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return nullptr;
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      if (SessionPtr session = room->Members().FindBySessionAndNode(sessionId, nodeId)) return session;
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomSessionListFindUserSession\n");
      platform::SleepMs(3);
    }
  }
  return nullptr;
}

void CRoomList::CRoomListToBuffer0(CTextBuffer& buffer, const std::string& viewerSession,
                                   const std::string& category) {
  if (category.empty()) return;
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const RoomPtr& room : Snapshot()) {
    try {
      if (room->GetName().empty() || !RoomPassesCategoryFilter(*room, category)) continue;
      buffer.AppendMany("[<A HREF=\"", JoinLink(viewerSession, room->GetName()), "\" TARGET=\"_top\">", room->GetName(),
                        "(", std::to_string(room->GetMemberCount()),
                        room->IsLocked() ? ")<font color=#ff0000>LOCKED</font>" : ")", "</A>]");
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomListToBuffer0\n");
    }
  }
}

void CRoomList::CRoomListToBuffer(CTextBuffer& buffer, const std::string& viewerSession) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  buffer.AppendString("<br>系统聊天室:");
  CRoomListToBuffer0(buffer, viewerSession, kSystemCategory);
  for (const char* category : kUserCategories) {
    CTextBuffer entries;
    CRoomListToBuffer0(entries, viewerSession, category);
    if (entries.Empty()) {
      buffer.AppendMany("<br>", category, "类聊天室(<font color=#ff0000 size=2>暂无</font>)");
    } else {
      buffer.AppendMany("<br>", category, "类聊天室:", entries.View());
    }
  }
}

void CRoomList::CRoomListToBuffer3(CTextBuffer& buffer, const std::string& viewerSession, const std::string&,
                                   const std::string& category) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  buffer.AppendMany("<div align=\"center\"><center>", "<form name=\"ogin\" METHOD=\"POST\" ACTION=\"\">",
                    "<table bgcolor=#e9f8fe border=\"0\" width=\"704\" height=\"40\">");
  const bool guest = viewerSession == kGuestSession;
  CTextBuffer cells;
  int counter = 1;
  for (const RoomPtr& room : Snapshot()) {
    try {
      if (!RoomPassesCategoryFilter(*room, category)) continue;
      const int column = counter % 3;
      cells.AppendString(column == 1 ? "<tr><td width=\"27%\" height=\"15\" align=\"center\">"
                                     : "<td width=\"27%\" height=\"15\" align=\"center\">");
      const std::string link = "<a href=\"javascript:popwin('" + JoinLink(viewerSession, room->GetId()) + "','" +
                               viewerSession + "')\">";
      if (room->IsLocked()) {
        cells.AppendMany(link, room->GetName(), "<font color=#ff0000>(LOCKED)</font>", "</a>");
      } else if (!guest) {
        cells.AppendMany(link, room->GetName(), "</a>");
      } else {
        cells.Append(room->GetName());
      }
      cells.AppendMany(
          "<br><select name=\"D1\" size=\"1\" style=\"background-color: #ffffff; color: #000000\"><option>"
          "\u3000\u3000\u3000在线",
          std::to_string(room->GetMemberCount()), "人\u3000\u3000\u3000</option>");
      room->Members().ListOptions(cells, room->GetName());
      cells.AppendString(column == 0 ? "</select></td></tr>" : "</select></td>");
      ++counter;
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomListToBuffer3\n");
    }
  }
  buffer.AppendMany("<TR><td width=\"27%\" align=\"center\" bgColor=\"#637dbc\"><font color=#ffffff>", category);
  if (!cells.Empty()) {
    buffer.AppendMany("类聊天室\u3000\u3000 </font></TD></TR>", cells.View());
  } else {
    buffer.AppendString("类聊天室(<font color=#ff0000 size=2>暂无</font>)</font></TD></TR>");
  }
  buffer.AppendMany("<center><font color=Fuchsia>在线总人数:", std::to_string(CRoomSessionAllCount()),
                    "</font></center>",
                    "<tr><td width=\"100%\" colspan=\"4\" align=\"center\"></td></tr></table></form>");
  if (!guest) {
    buffer.AppendMany(
        "<form name=\"login\" METHOD=\"POST\" ACTION=\"newroom\" onsubmit=\"return(checksays());\">"
        "<table border=\"0\" width=\"704\" bgcolor=\"#f9cd8a\"><tr>"
        "<td width=\"248\" align=\"right\">新建聊天室名: <input type=\"text\" name=\"rn\" size=\"11\">"
        "<input type=\"hidden\" name=\"session\" value=\"",
        viewerSession,
        "\"></td><td width=\"253\" align=\"center\">类别：<select name=\"tp\" size=\"1\">"
        "<option>其它</option><option>情感</option><option>娱乐</option><option>体育</option><option>技术</option>"
        "</select></td><td width=\"134\"><input type=\"submit\" name=\"B1\" value=\"创建\"></td></tr>"
        "</table></form>");
  }
  buffer.AppendString(
      "<form name=\"find\" action=\"find\" target=\"_top\">"
      "<table border=\"0\" width=\"704\" bgcolor=\"#c4ecff\"><tr><td align=\"center\">"
      "<img src=\"image/side1.gif\" width=\"8\" height=\"8\"> "
      "<font color=\"#FF853C\">在线查询网友…… 请输入要查询网友的名字</font> "
      "<input type=\"text\" name=\"fun\" size=\"22\"> <input type=\"submit\" name=\"b2\" value=\"查询\">"
      "</td></tr></table></form>"
      "</center></div><!--End MainBody-->");
}

void CRoomList::CRoomListUserToBuffer(CTextBuffer& buffer, const std::string& viewerSession) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      if (room->GetName().empty()) continue;
      buffer.AppendMany("<br>[<A HREF=\"", JoinLink(viewerSession, room->GetName()), "\" TARGET=\"_top\">",
                        room->GetName(), "(", std::to_string(room->GetMemberCount()), ")",
                        room->IsLocked() ? "<font color=#ff0000>LOCKED</font>" : "", "</A>]");
      room->Members().ListNames(buffer);
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomListUserToBuffer\n");
    }
  }
}

void CRoomList::CRoomListUserToBufferG(CTextBuffer& buffer) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      room->Members().CPasswordListToBufferG(buffer, room->GetName());
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomListUserToBufferG\n");
    }
  }
}

void CRoomList::RoomListDeleteNodePeople(const std::string& nodeId) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      room->Members().DeleteNodeSessions(nodeId);
    } catch (...) {
      platform::ConsoleWrite("catch in RoomListDeleteNodePeople\n");
      platform::SleepMs(10);
    }
  }
}

void CRoomList::CRoomSessionListDeleteOtherNode(const std::string& nodeId) {
  for (const RoomPtr& room : OccupiedRooms()) {
    try {
      room->Members().DeleteOtherNodeSessions(nodeId);
    } catch (...) {
      platform::ConsoleWrite("catch in CRoomSessionListDeleteOtherNode\n");
      platform::SleepMs(3);
    }
  }
}

int CRoomList::CRoomSessionAllCount() {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return 0;
  int total = 0;
  for (const RoomPtr& room : Snapshot()) total += room->GetMemberCount();
  return total;
}

void CRoomList::CRoomSessionRemoveOldRooms() {
  const std::time_t now = platform::Now();
  std::time_t last = m_lastSweep;
  if (now - last <= kRoomSweepInterval || !m_lastSweep.compare_exchange_strong(last, now)) return;
  Nodes removed;
  {
    platform::CMutexGuard guard(*m_mutex);
    if (!guard) return;
    for (const RoomPtr& room : Snapshot()) {
      try {
        if (room->IsSystem() || room->GetMemberCount() > 0 || now - room->EmptySince() <= kEmptyRoomLifetime) continue;
        const std::string name = room->GetName().substr(0, 198);
        if (g_managerList) g_managerList->RemoveRoomEntries(name);
        REmoveRoom(name, OwnNodeId(), false);
        Nodes gone = Remove(room);
        removed.insert(removed.end(), gone.begin(), gone.end());
      } catch (...) {
        platform::ConsoleWrite("catch in CRoomSessionRemoveOldRooms\n");
        platform::SleepMs(3);
      }
    }
  }
  for (const RoomPtr& room : removed) DestroyRoom(room);
}
