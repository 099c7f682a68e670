// Room membership events: creating a room, entering the first room after
// logon, moving between rooms, leaving, removing a room, and the four
// notices that tell a room about it.
#pragma once

#include <string>

#include "chat/user_session.h"

// The notice time stamp: local time as "%I:%M:%S %p".
std::string NoticeTimeStamp();

int EnterRoomMessage(const CUserSession& session);
void LeaveRoomMessage(const CUserSession& session);
// kind 0: created; 5: went to a new room; other: went to an existing room.
void JumpRoomToOtherMessage(const CUserSession& session, const std::string& target, int kind);
int JumpRoomMessage(const CUserSession& session, const std::string& oldRoomName);

// 1 when the room was created (the user stays where he is).
int CreateRoom(const SessionPtr& session, const std::string& roomName, const std::string& category,
               const std::string& nodeId, bool emit);
// Moves a user who is in a room; 1 when the target room was created by this
// call. The caller's session is stale afterwards: look it up again.
int JoinRoom(const SessionPtr& session, const std::string& currentRoomId, const std::string& target,
             const std::string& category, const std::string& nodeId, bool emit, bool announce);
// Moves a user from g_onlineList into his first room.
void JoinRoomFromLogon(const SessionPtr& session, const std::string& currentRoomId, const std::string& target,
                       const std::string& nodeId, bool listFlag);
// Takes the user out of the chat; his leave is announced.
void DoOut(const SessionPtr& session, const std::string& nodeId);
void REmoveRoom(const std::string& roomName, const std::string& nodeId, bool deleteRoom);
