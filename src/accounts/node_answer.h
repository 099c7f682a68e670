// Waiting for a peer node's answer to a numbered request (logon,
// registration, password change and recovery) without holding a thread:
// the request is emitted and the connection is parked. The receiver of
// answers wakes it as soon as the answer is set in the resend list; a timer
// of its loop also looks every second, has the request sent again after
// every fifth second (the transport's resend list does it when there is
// one) and gives up after the given number of resends.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "http/request.h"
#include "nodelink/node_record.h"

class CChatCore;

inline constexpr int kLogonResends = 4;         // 20 seconds, 5 sends in all
inline constexpr int kRegistrationResends = 2;  // 10 seconds, 3 sends in all
inline constexpr int kPasswordResends = 2;      // 10 seconds, 3 sends in all
// The statuses of an answer, the same on the node that asks and the node
// that answers; kNodeAnswerFailed also stands for no answer at all.
inline constexpr int kNodeAnswerDone = 1;
inline constexpr int kNodeAnswerNameTaken = 0;
inline constexpr int kNodeAnswerFailed = -1;
inline constexpr int kNodeAnswerRefused = -2;  // no such account, wrong password or wrong answers
// The reply of a recovery's first step for an account without security data.
inline constexpr const char* kNoSecurityData = "htdataerror";

struct NodeAnswer {
  int status = kNodeAnswerFailed;    // the peer's number, or -1 (no answer, or the server stopped)
  std::optional<std::string> reply;  // the peer's text, when it gave one
};

// What the request waits for: a status other than "no answer yet", or a reply text.
enum class AwaitedAnswer { kStatus, kReply };

// Emits the request, parks the request and, once the answer has come or
// the time is up, removes it from the resend list and calls finish on the
// connection's loop to write the answer page.
void AskNodeAndWait(CChatCore& core, CRequest& request, RecordLayout layout, const RecordValues& values,
                    int resendLimit, AwaitedAnswer awaited, std::function<void(const NodeAnswer&, CPage&)> finish);
