// The node link's resend list and outgoing buffer, and the serial counter.
// Numbered records wait in the resend list until their emitter removes them
// (or the housekeeping round empties it); every record is appended to the
// outgoing buffer. Nothing in this system reads the buffer yet: the
// housekeeping round drops its contents every 200 seconds.
#pragma once

#include <ctime>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "foundation/text_buffer.h"
#include "nodelink/node_record.h"

inline constexpr int kNoAnswerYet = -3;
inline constexpr int kFirstSerialNumber = 10;

struct CResendItem {
  int serial = 0;
  std::time_t added = 0;
  int status = kNoAnswerYet;
  std::optional<std::string> reply;
  std::string record;
};

// Callers hold the tolMsgList mutex around every use.
class CMessageList {
 public:
  CMessageList();
  virtual ~CMessageList() = default;

  CResendItem* FindBySerial(int serial);
  // Appends (under tolExtOut) every item older than age seconds to the
  // outgoing buffer, at most once per 10 seconds.
  void CMessageListReSend(int age);
  CResendItem* SetStatus(int serial, int status);
  CResendItem* SetReply(int serial, const std::string& text);
  void Clear() { m_items.clear(); }
  // Replaces any item of that serial; an empty record adds nothing.
  void Add(int serial, const std::string& record);
  void Remove(int serial);
  size_t Count() const { return m_items.size(); }

 private:
  std::list<CResendItem> m_items;  // newest first
  std::time_t m_lastResend;
};

extern std::unique_ptr<CMessageList> g_messageList;
// Lives for the whole process; guarded by tolExtOut.
extern CTextBuffer g_extOutBuffer;

// Takes the next serial number under tolSnCounter; -1 when the counter's
// mutex could not be had.
int TakeSerialNumber();
// Restarts the counter (tests only).
void ResetSerialNumberForTests();

// Numbers a record, stores it in the resend list and appends it to the
// outgoing buffer; returns its serial number (-1 when none could be taken).
int EmitNodeRecord(RecordLayout layout, const RecordValues& values);
// Appends an unnumbered record (PB, PR, PC) to the outgoing buffer.
void WriteNodeRecord(RecordLayout layout, const RecordValues& values, std::string_view ctOverride = {});
// Appends a copy of the text to the outgoing buffer under tolExtOut.
void AppendToOutBuffer(const std::string& record);
// The housekeeping round: drop the outgoing buffer and the resend list.
void EmptyNodeLinkBuffers();
// The whole outgoing buffer (tests and diagnostics).
std::string OutBufferSnapshot();
