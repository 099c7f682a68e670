// Waiting for a peer node's answer to a numbered request (logon,
// registration): the request is sent again after every fifth second, and
// the wait gives up after the given number of resends.
#pragma once

#include <functional>
#include <string>

#include "nodelink/node_record.h"

inline constexpr int kLogonResends = 4;         // 20 seconds, 5 sends in all
inline constexpr int kRegistrationResends = 2;  // 10 seconds, 3 sends in all
inline constexpr int kNodeAnswerFailed = -1;

// Sleeps about a second; false when the server is stopping.
using WaitSecond = std::function<bool()>;
bool WaitOneSecondUnlessStopping();

// Emits the request, waits for its status and removes it from the resend
// list; the peer's status, or -1 (no answer, or the server stopped).
int AskNodeAndWait(RecordLayout layout, const RecordValues& values, int resendLimit,
                   const WaitSecond& waitSecond = WaitOneSecondUnlessStopping);
