// The node link over Redis wired to this server: records of other nodes
// applied to the chat, requests answered from the accounts in Redis.
#pragma once

#include <memory>

#include "nodelink/node_transport.h"

class CChatCore;

// Null when the link is off or [cluster] names no Redis (then nothing
// carries the records, as without a transport).
std::unique_ptr<CNodeTransport> MakeNodeTransport(CChatCore& core);
