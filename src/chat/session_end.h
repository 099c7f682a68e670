// The end of sessions the core has let go: a user who leaves (logs out, or
// is swept as idle) is announced in his room and reported by an ET record,
// with the node link on or off; moved, kicked and dropped sessions end silently.
// Only this node's own users are reported: another node speaks for its own.
// An ended session's message frame here closes too, once the lines said to
// it have gone out, so no browser holds a frame that will never hear the
// room again.
#pragma once

#include <string>
#include <vector>

#include "chat/chat_views.h"

class CChatCore;

// What a frame shows last when nothing else told its user why his session ended.
inline constexpr const char* kLoggedOutText = "您已退出登录";
inline constexpr const char* kIdleEndedText = "本会话因长时间没有活动已结束,请重新登录";
inline constexpr const char* kRoomRemovedText = "本聊天室已被删除,请重新登录";
inline constexpr const char* kSessionReplacedText = "本账户已在别处重新登录,本会话已结束";

// lastLine: what the session's frame shows before it closes ("": nothing
// more, e.g. a kicked user has just read the kick in his room).
void EndSession(CChatCore& core, const EndedSession& ended, const std::string& lastLine = "");
void EndSessions(CChatCore& core, const std::vector<EndedSession>& ended, const std::string& lastLine = "");
// Takes the session out of the core, wherever it is, and ends it (announce:
// his leave is told); false when there was no such session.
bool RemoveAndEndSession(CChatCore& core, const std::string& id, const std::string& node, bool announce,
                         const std::string& lastLine = "");
