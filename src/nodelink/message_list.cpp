#include "nodelink/message_list.h"

#include "nodelink/node_outbox.h"
#include "platform/clock.h"

CMessageList::CMessageList() : m_lock(platform::OpenNamedMutex("tolMsgList")), m_lastResend(platform::Now()) {}

CResendItem* CMessageList::Find(int serial) {
  for (CResendItem& item : m_items) {
    if (item.serial == serial) return &item;
  }
  return nullptr;
}

std::optional<CResendItem> CMessageList::FindBySerial(int serial) {
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return std::nullopt;
  const CResendItem* item = Find(serial);
  return item != nullptr ? std::optional<CResendItem>(*item) : std::nullopt;
}

void CMessageList::CMessageListReSend(int age, CNodeOutbox& outbox) {
  std::list<std::string> due;
  {
    platform::CMutexGuard guard(*m_lock);
    if (!guard) return;
    const std::time_t now = platform::Now();
    if (now - m_lastResend <= 10) return;
    m_lastResend = now;
    for (const CResendItem& item : m_items) {
      if (now - item.added > age) due.push_back(item.record);
    }
  }
  for (const std::string& record : due) outbox.Append(record);
}

bool CMessageList::SetStatus(int serial, int status) {
  platform::CMutexGuard guard(*m_lock);
  CResendItem* item = guard ? Find(serial) : nullptr;
  if (item != nullptr) item->status = status;
  return item != nullptr;
}

bool CMessageList::SetReply(int serial, const std::string& text) {
  platform::CMutexGuard guard(*m_lock);
  CResendItem* item = guard ? Find(serial) : nullptr;
  if (item != nullptr) item->reply = text;
  return item != nullptr;
}

bool CMessageList::SetAnswer(int serial, int status, const std::string& reply) {
  AnswerWaker waker;
  {
    platform::CMutexGuard guard(*m_lock);
    CResendItem* item = guard ? Find(serial) : nullptr;
    if (item == nullptr) return false;
    item->status = status;
    item->reply = reply;
    waker = item->waker;
  }
  if (waker) waker();  // outside the lock: the waker may look at the list
  return true;
}

bool CMessageList::WakeOnAnswer(int serial, AnswerWaker waker) {
  platform::CMutexGuard guard(*m_lock);
  CResendItem* item = guard ? Find(serial) : nullptr;
  if (item != nullptr) item->waker = std::move(waker);
  return item != nullptr;
}

void CMessageList::Clear() {
  platform::CMutexGuard guard(*m_lock);
  if (guard) m_items.clear();
}

void CMessageList::Add(int serial, const std::string& record) {
  if (record.empty()) return;
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return;
  m_items.remove_if([serial](const CResendItem& item) { return item.serial == serial; });
  m_items.push_front(CResendItem{serial, platform::Now(), kNoAnswerYet, std::nullopt, record, nullptr});
}

void CMessageList::Remove(int serial) {
  platform::CMutexGuard guard(*m_lock);
  if (guard) m_items.remove_if([serial](const CResendItem& item) { return item.serial == serial; });
}

size_t CMessageList::Count() {
  platform::CMutexGuard guard(*m_lock);
  return guard ? m_items.size() : 0;
}
