// The end of sessions the core has let go: a user who leaves (logs out, or
// is swept as idle) is announced in his room and reported by an ET record,
// with the node link on or off; moved, kicked and dropped sessions end silently.
// Only this node's own users are reported: another node speaks for its own.
#pragma once

#include <vector>

#include "chat/chat_views.h"

class CChatCore;

void EndSession(CChatCore& core, const EndedSession& ended);
void EndSessions(CChatCore& core, const std::vector<EndedSession>& ended);
