// The event stream's wire format (Server-Sent Events): each line the user
// may see is one "line" event whose id is the room's epoch and the line's
// offset; "reset" says where a room stands when the client's position could
// not be resumed (or it entered the room); "bye" ends the stream. Data are
// UTF-8 JSON; text is plain (markup dropped), and a line whose links run a
// command carries the commands as actions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chat/chat_event.h"
#include "chat/room_history.h"

inline constexpr const char* kEventStreamKeepAlive = ": keepalive\n\n";

// "id: EPOCH-OFFSET\nevent: line\ndata: {...}\n\n" (a sub-line's id: EPOCH-OFFSET.SUB).
std::string EventLineBytes(const ChatEvent& event, const std::string& epoch, LinePlace place);
// "event: reset\ndata: {"room","epoch","offset"}\n\n" (no id: a client that
// drops now comes back with its old position and is reset again). A reset
// that only renames the room's life, with nothing missed, says
// "continues":true: what the client shows stays.
std::string EventResetBytes(const std::string& room, const std::string& epoch, std::uint64_t offset,
                            bool continues = false);
// "event: bye\ndata: {"reason"}\n\n"; the reason is the last line's text.
std::string EventByeBytes(const std::string& reason);

// A Last-Event-ID as the stream's ids give it: EPOCH "-" OFFSET, or
// EPOCH "-" OFFSET "." SUB.
std::optional<LinePosition> ParseEventId(const std::string& id);
