// CChatCore: the chat of one pass of the server. Its parts: the rooms
// (CRoomTable), the logged-on users (sessions) with where they are and their
// streams (CSessionIndex), the managers and the kick and ban lists
// (CSanctionLists), and the node link's resend list. The core owns the one
// lock over them, and does what spans the parts: moving a user between
// rooms, saying a line to those who may see it, starting a stream with its
// room's history. It returns copies of its data and writes no markup; text
// reaches users through the delivery it is given.
//
// Threading: every operation may be called from any thread. One
// reader-writer lock guards the whole core and is held only for work in
// memory: the core never calls out (delivery, announcements) while it holds
// it, so nothing waits long for it and nobody can wait on himself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "chat/chat_event.h"
#include "chat/chat_settings.h"
#include "chat/chat_views.h"
#include "chat/room_history.h"
#include "chat/room_table.h"
#include "chat/sanction_lists.h"
#include "chat/session_index.h"
#include "nodelink/node_link.h"

class CDelivery;

enum class RoomCreation { kCreated, kExists, kRefused };

// How a stream starts: the latest lines of its room it shows (at most
// this many), or, when the client says where it stopped and the room's
// history still holds everything after that, exactly the lines after it.
struct StreamStartRequest {
  size_t latest = 0;
  std::optional<LinePosition> resumeFrom;
};

// What a stream shows when it starts: where its room stands, whether the
// client's position was given up, and the lines its user may see.
struct StreamStart {
  std::string room;  // "": the session is in no room (nothing to show)
  std::string epoch;
  LinePlace last;     // the room's last line
  bool reset = true;         // false: the lines continue from the client's position
  std::string viewerName;
  std::vector<HistoryLine> lines;  // oldest first
};

struct MoveResult {
  bool moved = false;        // the user is now in the target room
  bool sameRoom = false;     // he was there already
  std::string oldRoomName;   // where he was ("pRoomName": in no room)
  SessionView arrived;       // the user in the target room
};

class CChatCore {
 public:
  CChatCore(CChatSettings settings, CNodeOutbox& outbox);
  ~CChatCore();
  CChatCore(const CChatCore&) = delete;
  CChatCore& operator=(const CChatCore&) = delete;

  const CChatSettings& Settings() const { return m_settings; }
  const std::string& NodeId() const { return m_settings.nodeId; }
  CNodeLink& NodeLink() { return m_nodeLink; }
  // Where lines go; null (the default) drops them.
  void SetDelivery(CDelivery* delivery) { m_delivery = delivery; }
  CDelivery* Delivery() const { return m_delivery.load(); }

  // ---- Rooms
  // A room of the configuration: category "系统", empty from the start.
  bool AddSystemRoom(const std::string& name, const std::string& background);
  // A room a user makes; the creator becomes its manager when it has none.
  // Refused when the caps on user rooms (all, and of this creator) are reached.
  RoomCreation AddUserRoom(const std::string& name, const std::string& category, const std::string& creator);
  std::optional<RoomView> FindRoom(const std::string& name, bool withMembers = false) const;
  std::optional<RoomView> FindRoomById(const std::string& id, bool withMembers = false) const;
  // The rooms listed under a category (a room without one is stored as "其它").
  std::vector<RoomView> RoomsOfCategory(const std::string& category, bool withMembers);
  // The rooms that have members, in list order.
  std::vector<RoomView> OccupiedRooms(bool withMembers) const;
  // Every room, in list order.
  std::vector<RoomView> Rooms() const;
  int TotalMembers() const;
  int RoomCount() const;
  // Sessions known here, of this node and of others, in rooms or not.
  int SessionCount() const;
  bool SetRoomLocked(const std::string& name, bool locked);
  // Deletes the room and its managers; its members' sessions end (nobody
  // hears their leave).
  [[nodiscard]] std::vector<EndedSession> RemoveRoom(const std::string& name);
  // Deletes user rooms empty for more than 900 seconds and their managers,
  // at most once per 30 seconds; the names of the rooms deleted.
  std::vector<std::string> RemoveOldRooms();

  // ---- Sessions
  // A user who just logged on, in no room; false when the id is taken.
  bool AddLogonSession(const SessionView& session);
  // Wherever the session is. With touch: renews its last-active time. A
  // lookup only looks: idle sessions are ended by the sweep alone.
  std::optional<SessionView> FindSession(const std::string& id, const std::string& node, bool touch);
  // Only as a member of that room (found by name, letter case aside).
  std::optional<SessionView> FindMember(const std::string& roomName, const std::string& id, const std::string& node,
                                        bool touch);
  // Only in a room / only in no room.
  std::optional<SessionView> FindInAnyRoom(const std::string& id, const std::string& node, bool touch);
  std::optional<SessionView> FindInNoRoom(const std::string& id, const std::string& node, bool touch);
  // Whether the session may say a line now ([general] line_burst and
  // lines_per_minute); the line is counted. True when the rate is off or
  // the session is gone (then it says nothing anyway).
  bool TakeLine(const std::string& id, const std::string& node);
  // Lines refused so, since the core was made.
  std::uint64_t LinesRefused() const { return m_linesRefused.load(std::memory_order_relaxed); }
  bool SetLevel(const std::string& id, const std::string& node, int level);
  bool SetAdmission(const std::string& id, const std::string& node, bool approved, bool manager);
  // Takes the session out, wherever it is. What the core lets go is handed
  // to EndSession, which also closes the session's message frame.
  [[nodiscard]] std::optional<EndedSession> RemoveSession(const std::string& id, const std::string& node, bool announce);
  // The room of that name, made (with the category) when it is missing and
  // the cap on user rooms allows; created tells which.
  std::optional<RoomView> EnsureRoom(const std::string& name, const std::string& category, bool& created);
  // Moves the user into the room. The same session record moves: his ignore
  // list goes with him, his approval and manager mark start afresh.
  MoveResult MoveSession(const std::string& id, const std::string& node, const std::string& roomName);
  // Sessions idle longer than the timeout (other nodes' 200 times longer),
  // at most once per 20 seconds (housekeeping asks every second).
  [[nodiscard]] std::vector<EndedSession> SweepIdleSessions();
  // Every session of that node (exactly that id), wherever it is.
  std::vector<SessionView> SessionsOfNode(const std::string& node) const;
  // Takes out every session of that node; their leave is to be announced.
  [[nodiscard]] std::vector<EndedSession> RemoveNodeSessions(const std::string& node);
  // Of the sessions of that name (letter case aside) on that node, takes out
  // the oldest (by logon) so that the kept one and the newest others make at
  // most max; their leave is to be announced.
  [[nodiscard]] std::vector<EndedSession> RemoveOldestSessionsOfName(const std::string& name, const std::string& node,
                                                                     const std::string& keptId, size_t max);

  // ---- Users by name
  // In a room's member list: the first member of that name (letter case
  // aside) on that node ("All_NodeId": any node); "" when none.
  std::string FindIdByNameAndNode(const std::string& roomName, const std::string& name, const std::string& node) const;
  std::optional<SessionView> FindMemberByName(const std::string& roomName, const std::string& name) const;
  // Across the rooms with members, in list order.
  std::string FindSessionIdByName(const std::string& name, const std::string& node) const;
  std::vector<SearchHit> SearchUserByName(const std::string& name) const;

  // ---- Ignore lists
  // Adds the name unless it is there (letter case aside).
  void Ignore(const std::string& id, const std::string& node, const std::string& name);
  bool IsIgnoring(const std::string& id, const std::string& node, const std::string& name) const;

  // ---- Streams of sessions
  // A session has one stream of each format: of two, the one opened last
  // (by its time of opening, whichever was tied first) stays. Returns the
  // stream that must close (0: none), or nullopt when the session is gone.
  // Taking the stream's place and reading its room's history (into start,
  // when given) happen under one lock: every line is either in the history
  // read or said to the stream afterwards, never both, never neither.
  std::optional<std::uint64_t> AttachStream(const std::string& id, const std::string& node, StreamFormat format,
                                            std::uint64_t stream, std::int64_t openedAt,
                                            const StreamStartRequest& request = {}, StreamStart* start = nullptr);
  // The session moved: its stream of that format starts over in its new
  // room. Returns the stream (0: none) and fills start, under one lock.
  std::uint64_t RestartStream(const std::string& id, const std::string& node, StreamFormat format,
                              const StreamStartRequest& request, StreamStart& start) const;
  void DetachStream(const std::string& id, const std::string& node, std::uint64_t stream);
  // Says the line in its room: it takes its place in the room's history
  // (the next offset; in a cluster, the place the node link gave it, or the
  // next sub-line after the last such line), and the streams here that may
  // see it are collected:
  // of the room's members (the approved ones, unless the kind reaches
  // waiting users; not those who ignore the sender), of the one session it
  // is for, or of the room's managers. A member named markedName gets the
  // line marked for him. Each member found counts as active. None when the
  // room is not here.
  std::optional<AppendedLine> Publish(const std::shared_ptr<const ChatEvent>& event, const std::string& markedName,
                                      std::vector<Recipient>& out);

  // ---- Managers
  bool IsManager(const std::string& name, const std::string& room) const;
  void AddManager(const std::string& name, const std::string& room);
  void RemoveManager(const std::string& name, const std::string& room);
  std::optional<std::string> FindManagerOfRoom(const std::string& room) const;
  std::vector<ManagerEntry> Managers() const;

  // ---- Kicks and bans
  void PurgeSanctions();
  bool IsBanned(const std::string& address) const;
  bool IsKicked(const std::string& name) const;
  void AddKick(const std::string& name);
  void AddBan(const std::string& address);

 private:
  // Under the lock: the stream's start, and who of the room sees a line.
  // The line's place in the room's history (under the core's shared lock).
  AppendedLine TakePlace(CRoomHistory& history, const std::shared_ptr<const ChatEvent>& line) const;
  StreamStart StartOf(const SessionRecord& session, const StreamStartRequest& request) const;
  bool Sees(const SessionRecord& member, const ChatEvent& event, const std::string& senderName) const;
  static void AddRecipients(SessionRecord& member, const std::string& markedName, std::vector<Recipient>& out);
  static std::optional<SessionView> Touch(SessionRecord* session, bool touch);

  const CChatSettings m_settings;
  CNodeLink m_nodeLink;
  std::atomic<CDelivery*> m_delivery{nullptr};

  mutable std::shared_mutex m_lock;  // guards the three parts below
  CRoomTable m_rooms;
  CSessionIndex m_sessions;
  CSanctionLists m_sanctions;
  std::atomic<std::uint64_t> m_linesRefused{0};
};
