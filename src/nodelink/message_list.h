// CMessageList: the resend list. A numbered request waits here under its
// serial number until its emitter removes it; the node link's receiver sets
// its status (-3 while no answer has come) and its reply text. The list
// guards itself (tolMsgList).
#pragma once

#include <ctime>
#include <functional>
#include <list>
#include <optional>
#include <string>

#include "platform/named_mutex.h"

class CNodeOutbox;

inline constexpr int kNoAnswerYet = -3;

// Called, on the thread that brings the answer, once an answer is set.
using AnswerWaker = std::function<void()>;

struct CResendItem {
  int serial = 0;
  std::time_t added = 0;
  int status = kNoAnswerYet;
  std::optional<std::string> reply;
  std::string record;
  AnswerWaker waker;
};

class CMessageList {
 public:
  CMessageList();
  virtual ~CMessageList() = default;

  // A copy of the item of that serial, if there is one.
  std::optional<CResendItem> FindBySerial(int serial);
  // Appends every item older than age seconds to the outbox again, at most
  // once per 10 seconds.
  void CMessageListReSend(int age, CNodeOutbox& outbox);
  bool SetStatus(int serial, int status);
  bool SetReply(int serial, const std::string& text);
  // A peer's answer: status and reply together, then the item's waker.
  bool SetAnswer(int serial, int status, const std::string& reply);
  // The waker of that serial's item (which must have been added).
  bool WakeOnAnswer(int serial, AnswerWaker waker);
  void Clear();
  // Replaces any item of that serial; an empty record adds nothing.
  void Add(int serial, const std::string& record);
  void Remove(int serial);
  size_t Count();

 private:
  CResendItem* Find(int serial);

  platform::NamedMutexPtr m_lock;
  std::list<CResendItem> m_items;  // newest first
  std::time_t m_lastResend;
};
