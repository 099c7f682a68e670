// ChatEvent: one line said in the chat, as every sender hands it to the
// delivery: who said it, to whom, in which room, what, and who may see it.
// It carries the parts of the line, not a rendering: each stream format
// (the classic HTML frame, the event stream's JSON) renders it itself.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

// The kinds of lines; the numbers travel in node records and in metrics.
enum class MessageKind : int {
  kChatLine = 3,
  kPrivateLine = 4,
  kSystemLine = 6,
  kNotice = 8,
  kPage = 14,
  kRefusal = 21,
};

// Who a line is for.
enum class Audience {
  kRoom,      // the room's members (approved ones, unless the kind reaches waiting users too)
  kSession,   // one session of the room
  kManagers,  // the members of the room who hold the manager mark
};

// Where a line goes.
enum class Reach {
  kHere,        // to this node's streams only
  kEverywhere,  // here, and to the other nodes as a node record
  kElsewhere,   // only as a node record (its user is on another node); here when the node link is off
};

// A command a client can send instead of following a link of the line
// (a manager's approval of a waiting user).
struct CommandAction {
  std::string label;
  std::string command;
};

inline constexpr size_t kLineLimit = 1999;  // bytes of a line that are delivered
inline constexpr size_t kShownNameLimit = 48;   // bytes of a name a line shows
// A private line or page shows its names with their nodes: this much of each.
inline constexpr size_t kShownSenderLimit = 40;
inline constexpr size_t kShownNodeLimit = 20;

// A room line's place in the room's order across a cluster, as the node
// link carried it: the room's epoch there and the line's offset.
struct SharedPlace {
  std::string epoch;
  std::uint64_t offset = 0;
};

struct ChatEvent {
  std::string room;
  MessageKind kind = MessageKind::kChatLine;
  Audience audience = Audience::kRoom;
  Reach reach = Reach::kHere;
  std::string sender;         // a name (notices: a name ":" node; server lines: a label such as "系统:")
  std::string senderNode;
  std::string addressee;      // a name ("大家": everybody)
  std::string addresseeNode;
  std::string session;        // Audience::kSession: the session the line is for
  std::string colour;
  // A user's chat line: his action and verb, shown before his text.
  std::string action;
  std::string says;
  // The line as the classic frame shows it after the sender: a user's text
  // (cleaned, so it holds no markup), or a line the server composed, which
  // may hold markup (links, fonts, help pages).
  std::string text;
  std::vector<CommandAction> actions;
  std::time_t time = 0;
  bool spoken = false;     // a user's chat line: shown as action, verb, ": ", text
  bool addressed = false;  // a room line marked for its addressee (▲ to him, △ to the others)
  bool isPrivate = false;  // a user's line to one user: a private line or a page
  // A line the node link carried in its room's order (none: the line is
  // placed here).
  std::optional<SharedPlace> sharedPlace;
};

// The name an ignore list is checked against: the sender up to his node.
std::string IgnoredSenderName(const ChatEvent& event);
