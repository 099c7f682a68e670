// CRoomSession: a chat room. It holds its category, background picture,
// member count, system and locked flags, the time since which it has been
// empty, and its member list.
#pragma once

#include <atomic>
#include <ctime>
#include <mutex>
#include <string>

#include "chat/password_list.h"

inline constexpr const char* kSystemCategory = "系统";
inline constexpr const char* kOtherCategory = "其它";

class CRoomSession : public CNamedNode {
 public:
  explicit CRoomSession(const std::string& name) : CNamedNode(name, "", ""), m_emptySince(platform::Now()) {}

  int GetMemberCount() const { return m_memberCount; }
  int IncMemberCount() { return ++m_memberCount; }
  // Only above 0; returns the new count.
  int DecMemberCount() {
    int count = m_memberCount;
    while (count > 0 && !m_memberCount.compare_exchange_weak(count, count - 1)) {
    }
    return count > 0 ? count - 1 : 0;
  }
  // Counts a member out; an emptied room starts its empty time.
  void CountOut() {
    if (DecMemberCount() == 0) m_emptySince = platform::Now();
  }

  std::string GetCategory() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_category;
  }
  void SetCategory(const std::string& category) {
    std::lock_guard<std::mutex> guard(m_textLock);
    m_category = category;
  }
  std::string GetBackground() const {
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_background;
  }
  void SetBackground(const std::string& background) {
    std::lock_guard<std::mutex> guard(m_textLock);
    m_background = background;
  }
  bool IsSystem() const { return m_system != 0; }
  void SetSystem(int value) { m_system = value; }
  bool IsLocked() const { return m_locked != 0; }
  void SetLocked(bool locked) { m_locked = locked ? 1 : 0; }
  std::time_t EmptySince() const { return m_emptySince; }
  void SetEmptySince(std::time_t when) { m_emptySince = when; }

  CPasswordList& Members() { return m_members; }

 private:
  mutable std::mutex m_textLock;
  std::string m_category;
  std::string m_background;
  std::atomic<int> m_memberCount{0};
  std::atomic<int> m_system{0};
  CPasswordList m_members;
  std::atomic<std::time_t> m_emptySince;
  std::atomic<int> m_locked{0};
};

using RoomPtr = std::shared_ptr<CRoomSession>;
