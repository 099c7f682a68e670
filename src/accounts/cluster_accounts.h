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

// Gives the account in Redis the hash of this password, made when it is
// missing; its other fields (level, recovery data) stay. The operator's
// command, which asks for no old password. False when Redis failed.
bool SetClusterAccountPassword(CRedisCalls& redis, const std::string& name, const std::string& password,
                               const HashCost& cost);
