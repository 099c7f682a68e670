// The accounts of linked nodes, kept in Redis (one hash per account, see
// docs/cluster.md), and the answers to the requests that need them: LG
// (the level, or -2), RG (1 created, 0 taken), CP and CP2 (1 or -2), CP1
// (the hint question, or "htdataerror"). Runs on the transport's answering
// thread: hashing is slow and never happens on an event loop.
#pragma once

#include <optional>

#include "accounts/password_hash.h"
#include "nodelink/transport_hooks.h"

// None when Redis failed meanwhile: the request waits for another try.
std::optional<RequestAnswer> AnswerFromAccounts(const ParsedRecord& request, CRedisCalls& redis, const HashCost& cost);
