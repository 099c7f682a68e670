#include "accounts/node_answer.h"

#include "nodelink/message_list.h"
#include "platform/process_mutexes.h"
#include "platform/stop_event.h"

namespace {
constexpr int kSecondsBetweenSends = 5;

// The item's status under tolMsgList; kNoAnswerYet while there is none.
int StatusOf(int serial) {
  platform::CMutexGuard guard(platform::GetProcessMutex(platform::ProcessMutex::kMsgList));
  if (!guard || !g_messageList) return kNoAnswerYet;
  const CResendItem* item = g_messageList->FindBySerial(serial);
  return item != nullptr ? item->status : kNoAnswerYet;
}

void RemoveItem(int serial) {
  platform::CMutexGuard guard(platform::GetProcessMutex(platform::ProcessMutex::kMsgList));
  if (guard && g_messageList) g_messageList->Remove(serial);
}
}  // namespace

bool WaitOneSecondUnlessStopping() { return !(g_stopEvent && g_stopEvent->Wait(1000)); }

int AskNodeAndWait(RecordLayout layout, const RecordValues& values, int resendLimit, const WaitSecond& waitSecond) {
  const int serial = EmitNodeRecord(layout, values);
  if (serial < 0) return kNodeAnswerFailed;
  const std::string request = BuildNodeRecord(layout, values, serial);
  int result = kNodeAnswerFailed;
  int seconds = 0;
  int resends = 0;
  while (!StopRequested()) {
    const int status = StatusOf(serial);
    if (status != kNoAnswerYet) {
      result = status;
      break;
    }
    if (!waitSecond()) break;
    if (++seconds % kSecondsBetweenSends != 0) continue;
    AppendToOutBuffer(request);
    // The last resend goes out, but no more time is given for its answer.
    if (++resends == resendLimit) break;
  }
  RemoveItem(serial);
  return result;
}
