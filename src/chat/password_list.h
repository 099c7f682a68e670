// CPasswordList: a list of sessions with its own named mutex ("tol2p%d")
// and its idle sweep. g_onlineList holds the users who are in no room; every
// room's member list is another one.
#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

#include "chat/user_session.h"
#include "foundation/text_buffer.h"
#include "platform/named_mutex.h"

inline constexpr int kDefaultSessionTimeout = 600;   // seconds
inline constexpr int kIdleSweepInterval = 20;        // seconds between sweeps of one list
inline constexpr int kOtherNodeTimeoutFactor = 200;  // sessions of other nodes live this much longer
inline constexpr const char* kAllNodes = "All_NodeId";

class CPasswordList : public CNamedList<CUserSession> {
 public:
  CPasswordList();
  ~CPasswordList() override;

  std::string Add(SessionPtr session, int& existed);
  void Append(SessionPtr session);
  void RemoveById(const std::string& id);

  std::string FindIdByNameAndNode(const std::string& name, const std::string& nodeId);
  SessionPtr FindByNameLocked(const std::string& name);
  void CPasswordListSearchUserByName(CTextBuffer& buffer, const std::string& name, int searcherLevel);
  void SessionIdleSweep();
  void RemoveBySessionAndNode(const std::string& sessionId, const std::string& nodeId);
  // With touch, sweeps first and renews the found session's last-active time.
  SessionPtr FindBySessionAndNode(const std::string& sessionId, const std::string& nodeId, bool touch = true);
  void ListNames(CTextBuffer& buffer);
  void ListOptions(CTextBuffer& buffer, const std::string& roomName);
  void CPasswordListToBufferG(CTextBuffer& buffer, const std::string& roomName);
  void OnlineToBuffer(CTextBuffer& buffer, const std::string& roomName);
  void DeleteNodeSessions(const std::string& nodeId);
  void DeleteOtherNodeSessions(const std::string& nodeId);
  SessionPtr FindByNameTouch(const std::string& name);

  // Ends every session (the end of the list's room or of the pass).
  void EndAll();
  int SessionTimeout() const { return m_sessionTimeout; }
  const std::string& MutexName() const { return m_mutex->Name(); }

 private:
  // The sessions of this list whose room (found by room id) is named so;
  // with an empty name, every session whose room exists.
  Nodes SessionsInRoom(const std::string& roomName, bool anyRoom);

  int m_sessionTimeout;
  std::atomic<std::time_t> m_lastSweep;
  platform::NamedMutexPtr m_mutex;
};

extern std::unique_ptr<CPasswordList> g_onlineList;
