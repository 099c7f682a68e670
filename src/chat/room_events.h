// Room membership events: creating a room, entering the first room after
// logon, moving between rooms, leaving, removing a room, and the four
// notices that tell a room about it. Each change other nodes must learn of
// is written as a node record.
#pragma once

#include <ctime>
#include <string>

#include "chat/chat_views.h"

class CChatCore;

// The notice time stamp: the local time as a Chinese system shows it, on a
// 12-hour clock behind 上午 or 下午 ("下午07:27:35").
std::string NoticeTimeStamp();
std::string ChineseClockTime(const std::tm& local);

int EnterRoomMessage(CChatCore& core, const SessionView& session);
void LeaveRoomMessage(CChatCore& core, const SessionView& session);
// kind 0: created; 5: went to a new room; other: went to an existing room.
void JumpRoomToOtherMessage(CChatCore& core, const SessionView& session, const std::string& target, int kind);
int JumpRoomMessage(CChatCore& core, const SessionView& session, const std::string& oldRoomName);

// 1 when the room was created (the user stays where he is); 0 when it
// exists already or no more rooms may be made.
int CreateRoom(CChatCore& core, const SessionView& session, const std::string& roomName, const std::string& category,
               const std::string& nodeId, bool emit);
// Moves a user who is in a room; 1 when the target room was created by this call.
int JoinRoom(CChatCore& core, const SessionView& session, const std::string& currentRoomId, const std::string& target,
             const std::string& category, const std::string& nodeId, bool emit, bool announce);
// Moves a user who is in no room into his first room.
void JoinRoomFromLogon(CChatCore& core, const SessionView& session, const std::string& currentRoomId,
                       const std::string& target, const std::string& nodeId, bool listFlag);
// Takes the user out of the chat; his leave is announced.
void DoOut(CChatCore& core, const SessionView& session, const std::string& nodeId);
void REmoveRoom(CChatCore& core, const std::string& roomName, const std::string& nodeId, bool deleteRoom);
