// The records the chat core keeps: a room with its members and history, a
// session with its ignore list and its streams. They point at each other
// (a session at its room, a room at its members), so they are declared
// together; the room table owns the rooms, the session index the sessions,
// and the core's lock guards both. Outside the core only copies of them
// (SessionView, RoomView) are handed out.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chat/chat_views.h"
#include "chat/line_rate.h"
#include "chat/room_history.h"

struct SessionRecord;

struct RoomRecord {
  std::string id;
  std::string name;
  std::string category;
  std::string background;
  std::string creator;  // "" for rooms of the configuration and rooms made by joining
  bool system = false;
  bool locked = false;
  std::time_t emptySince = 0;
  std::uint64_t order = 0;
  std::map<std::uint64_t, SessionRecord*> members;  // in the order they came
  // The members with a stream open here, in the same order: a line walks
  // only these, not members still without one or on other nodes.
  std::map<std::uint64_t, SessionRecord*> listening;
  std::unique_ptr<CRoomHistory> history;
};

struct SessionRecord {
  explicit SessionRecord(const SessionView& view);
  const std::string id;
  const std::string name;
  const std::string password;
  const std::string nodeId;
  const std::string colour;
  const std::string ipAddress;
  RoomRecord* room = nullptr;  // null: in no room
  std::uint64_t order = 0;
  std::uint64_t logon = 0;  // when it logged on, in the order of logons
  int level = 0;
  bool approved = true;
  bool manager = false;
  std::vector<std::string> ignored;
  std::atomic<std::time_t> lastActive;
  CLineBudget lines;  // taken under the read lock: it is its own atomic
  SessionStreams streams{};  // the user's open streams here, by format
  std::array<std::int64_t, kStreamFormats> streamsOpenedAt{};

  bool Listening() const { return streams[0] != 0 || streams[1] != 0; }
  // Whether the user sees lines of that sender (his ignore list, letter case aside).
  bool MaySee(const std::string& senderName) const;
  // Adds the name unless it is there (letter case aside).
  void Ignore(const std::string& name);
};

SessionView ViewOf(const SessionRecord& session);
RoomView ViewOf(const RoomRecord& room, bool withMembers);
EndedSession EndedOf(const SessionRecord& session, bool announce);
