#include "nodelink/message_list.h"

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process_mutexes.h"

std::unique_ptr<CMessageList> g_messageList;
CTextBuffer g_extOutBuffer;

namespace {
int g_serialNumber = kFirstSerialNumber;

platform::CNamedMutex& Mutex(platform::ProcessMutex which) { return platform::GetProcessMutex(which); }
}  // namespace

CMessageList::CMessageList() : m_lastResend(platform::Now()) {}

CResendItem* CMessageList::FindBySerial(int serial) {
  for (CResendItem& item : m_items) {
    if (item.serial == serial) return &item;
  }
  return nullptr;
}

void CMessageList::CMessageListReSend(int age) {
  try {
    const std::time_t now = platform::Now();
    if (now - m_lastResend <= 10) return;
    m_lastResend = now;
    for (const CResendItem& item : m_items) {
      if (now - item.added > age) AppendToOutBuffer(item.record);
    }
  } catch (...) {
    platform::ConsoleWrite("catch in CMessageListReSend\n");
  }
}

CResendItem* CMessageList::SetStatus(int serial, int status) {
  CResendItem* item = FindBySerial(serial);
  if (item != nullptr) item->status = status;
  return item;
}

CResendItem* CMessageList::SetReply(int serial, const std::string& text) {
  CResendItem* item = FindBySerial(serial);
  if (item != nullptr) item->reply = text;
  return item;
}

void CMessageList::Add(int serial, const std::string& record) {
  if (record.empty()) return;
  Remove(serial);
  m_items.push_front(CResendItem{serial, platform::Now(), kNoAnswerYet, std::nullopt, record});
}

void CMessageList::Remove(int serial) {
  m_items.remove_if([serial](const CResendItem& item) { return item.serial == serial; });
}

int TakeSerialNumber() {
  platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kSnCounter));
  if (!guard) return -1;
  return g_serialNumber++;
}

void ResetSerialNumberForTests() {
  platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kSnCounter));
  g_serialNumber = kFirstSerialNumber;
}

void AppendToOutBuffer(const std::string& record) {
  platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kExtOut));
  if (guard) g_extOutBuffer.Append(record);
}

int EmitNodeRecord(RecordLayout layout, const RecordValues& values) {
  const int serial = TakeSerialNumber();
  if (serial < 0) return -1;
  const std::string record = BuildNodeRecord(layout, values, serial);
  {
    platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kMsgList));
    if (guard && g_messageList) g_messageList->Add(serial, record);
  }
  AppendToOutBuffer(record);
  return serial;
}

void WriteNodeRecord(RecordLayout layout, const RecordValues& values, std::string_view ctOverride) {
  AppendToOutBuffer(BuildNodeRecord(layout, values, -1, ctOverride));
}

void EmptyNodeLinkBuffers() {
  {
    platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kExtOut));
    if (guard) g_extOutBuffer.Detach();
  }
  platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kMsgList));
  if (guard && g_messageList) g_messageList->Clear();
}

std::string OutBufferSnapshot() {
  platform::CMutexGuard guard(Mutex(platform::ProcessMutex::kExtOut));
  return guard ? g_extOutBuffer.Str() : std::string();
}
