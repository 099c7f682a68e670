// What the chat core hands out: copies of its records, taken under its lock,
// for page builders and commands that work outside the lock.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kNoRoom = "pRoomName";  // the room name of a user in no room
inline constexpr const char* kNoRoomId = "0";
inline constexpr const char* kSystemCategory = "系统";
inline constexpr const char* kOtherCategory = "其它";
// The categories of the room lists, in their order: the system rooms', then
// those users choose; a room of any other category is listed under "其它".
inline constexpr std::array<const char*, 6> kRoomCategories = {kSystemCategory, "情感", "娱乐",
                                                               "体育",          "技术", kOtherCategory};
inline constexpr int kSeeAddressesLevel = 222222;  // users of this level see addresses in searches

// Every session starts with this colour, on every node.
inline constexpr const char* kLogonColour = "red";

struct SessionView {
  std::string id;
  std::string name;
  std::string password;
  std::string nodeId;
  std::string colour;
  std::string ipAddress;
  std::string roomId = kNoRoomId;
  std::string roomName = kNoRoom;
  int level = 0;
  bool approved = true;
  bool manager = false;

  bool InNoRoom() const { return roomName == kNoRoom; }
};

struct MemberView {
  std::string name;
  std::string nodeId;
  std::string sessionId;
  bool approved = true;
  bool manager = false;
};

struct RoomView {
  std::string id;
  std::string name;
  std::string category;
  std::string background;
  std::string creator;  // "" for rooms of the configuration and rooms made by joining
  bool system = false;
  bool locked = false;
  int memberCount = 0;
  std::vector<MemberView> members;  // in the order they came, when asked for
};

// A user found by a search for a name.
struct SearchHit {
  std::string name;
  std::string ipAddress;
  std::string roomName;
};

struct ManagerEntry {
  std::string name;
  std::string room;
};

// The formats of the streams a session can hold open at once, one of each:
// the classic message frame (HTML) and the event stream (JSON events).
enum class StreamFormat : int { kClassic = 0, kEvents = 1 };
inline constexpr size_t kStreamFormats = 2;

// The open streams of a session on this node, by format (0: none).
using SessionStreams = std::array<std::uint64_t, kStreamFormats>;

// A session the core has let go: what its end must announce, and the
// streams that must close with it.
struct EndedSession {
  SessionView session;
  bool announce = true;  // leave notice and ET record (not for moved, kicked or dropped sessions)
  SessionStreams streams{};  // its open streams on this node (none for other nodes' users)
};

// Where a line goes: a stream of a member, its format, and whether the
// line is marked for him.
struct Recipient {
  std::uint64_t stream = 0;
  StreamFormat format = StreamFormat::kClassic;
  bool addressed = false;
};
