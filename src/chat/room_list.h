// CRoomList: every chat room, in g_roomList. It finds rooms by name (ASCII
// case folding) or id, counts members in and out, sweeps rooms that stayed
// empty for 15 minutes, finds a user's session in whatever room he is in,
// and writes the HTML fragments of the room-list pages.
//
// Lock order: the room list's mutex ("tol2roomlist") before any member
// list's mutex.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "chat/room_session.h"
#include "foundation/text_buffer.h"
#include "platform/named_mutex.h"

inline constexpr int kEmptyRoomLifetime = 900;  // seconds an empty user room survives
inline constexpr int kRoomSweepInterval = 30;   // seconds between two sweeps at least
inline constexpr const char* kGuestSession = "0000";
inline constexpr const char* kGuestName = "Guest";

class CRoomList : public CNamedList<CRoomSession> {
 public:
  CRoomList();
  ~CRoomList() override;

  // Adds (or finds) the room and counts one member in; the room's id or "".
  std::string CRoomListEnterRoom(RoomPtr room, int& existed);
  // Adds without counting a member (room creation).
  std::string CRoomListAddRoom(RoomPtr room, int& existed);
  // Counts one member out; true when the room became empty.
  bool CRoomListLeaveRoom(const std::string& roomId);
  // Deletes the room with all its members.
  void CRoomListRemoveRoom(const std::string& roomName);

  std::string CRoomSessionFindSessionByName(const std::string& userName, const std::string& nodeId);
  void CRoomSessionSearchUserByName(CTextBuffer& buffer, const std::string& name, int searcherLevel);
  SessionPtr CRoomSessionListFindUserSession(const std::string& sessionId, const std::string& nodeId);

  void CRoomListToBuffer0(CTextBuffer& buffer, const std::string& viewerSession, const std::string& category);
  void CRoomListToBuffer(CTextBuffer& buffer, const std::string& viewerSession);
  void CRoomListToBuffer3(CTextBuffer& buffer, const std::string& viewerSession, const std::string& viewerName,
                          const std::string& category);
  void CRoomListUserToBuffer(CTextBuffer& buffer, const std::string& viewerSession);
  void CRoomListUserToBufferG(CTextBuffer& buffer);
  void RoomListDeleteNodePeople(const std::string& nodeId);
  void CRoomSessionListDeleteOtherNode(const std::string& nodeId);
  int CRoomSessionAllCount();

  // Deletes user rooms that stayed empty for 900 seconds (at most once per
  // 30 seconds).
  void CRoomSessionRemoveOldRooms();

  platform::CNamedMutex& Mutex() { return *m_mutex; }

 private:
  // Rooms with at least one member, in list order.
  Nodes OccupiedRooms() const;
  static void DestroyRoom(const RoomPtr& room);

  platform::NamedMutexPtr m_mutex;
  std::atomic<std::time_t> m_lastSweep;
};

extern std::unique_ptr<CRoomList> g_roomList;

// Whether a room is listed under the requested category (a room without
// category is stored as "其它" on the way).
bool RoomPassesCategoryFilter(CRoomSession& room, const std::string& requested);
