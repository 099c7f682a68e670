// CUserSession: one logged-on user, known by session id and node id. A user
// is in no room ("pRoomName", in g_onlineList) right after logon, later in
// exactly one room's member list. Moving to another room replaces the record
// by a new one with the same session id.
#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "chat/named_list.h"

inline constexpr const char* kNoRoom = "pRoomName";
inline constexpr size_t kColourLimit = 19;
inline constexpr int kSeeAddressesLevel = 222222;

enum RemovalMode : int { kAnnounceRemoval = 0, kSilentRemoval = 1 };

class CUserSession : public CNamedNode {
 public:
  CUserSession(const std::string& name, const std::string& password, const std::string& roomId,
               const std::string& colour, const std::string& roomName, const std::string& nodeId,
               const std::string& sessionId, int level, const std::string& ipAddress);

  const std::string& RoomId() const { return m_roomId; }
  const std::string& RoomName() const { return m_roomName; }
  const std::string& NodeId() const { return m_nodeId; }
  const std::string& Colour() const { return m_colour; }
  const std::string& IpAddress() const { return m_ipAddress; }
  bool InNoRoom() const { return m_roomName == kNoRoom; }

  std::time_t LastActive() const { return m_lastActive; }
  void Touch();
  void SetLastActiveForTests(std::time_t when) { m_lastActive = when; }

  int RemovalMode() const { return m_removalMode; }
  void SetRemovalMode(int mode) { m_removalMode = mode; }
  int Level() const { return m_level; }
  void SetLevel(int level) { m_level = level; }
  bool CUserSessionIsApproved() const { return m_approved != 0; }
  void SetApproved(bool approved) { m_approved = approved ? 1 : 0; }
  bool CUserSessionIsManager() const { return m_manager != 0; }
  void SetManager(bool manager) { m_manager = manager ? 1 : 0; }

  // The ignore list: names whose lines this user no longer sees.
  void Ignore(const std::string& name);
  bool IsIgnoring(const std::string& name) const;
  void ClearIgnoreList();

  // The end of a session runs once: its leave notice and ET record (unless
  // removed silently) and counting it out of its room.
  bool MarkEnded() { return !m_ended.exchange(true); }

 private:
  std::atomic<std::time_t> m_lastActive;
  const std::string m_colour;
  const std::string m_roomId;
  const std::string m_roomName;
  const std::string m_nodeId;
  std::atomic<int> m_removalMode{kAnnounceRemoval};
  std::atomic<int> m_level;
  std::atomic<int> m_approved{1};
  std::atomic<int> m_manager{0};
  const std::string m_ipAddress;
  mutable std::mutex m_ignoreLock;
  std::vector<std::string> m_ignoreList;
  std::atomic<bool> m_ended{false};
};

using SessionPtr = std::shared_ptr<CUserSession>;

// Runs the end of each session (see MarkEnded); no list lock may be held
// by the caller's own list operation when this runs.
void EndSession(const SessionPtr& session);
void EndSessions(const std::vector<SessionPtr>& sessions);
