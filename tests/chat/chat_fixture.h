// A fresh chat core for one test: settings, the global lists, no server.
#pragma once

#include <gtest/gtest.h>

#include "chat/chat_loader.h"
#include "chat/manager_list.h"
#include "chat/password_list.h"
#include "chat/room_list.h"
#include "chat/timed_name_list.h"
#include "nodelink/message_list.h"
#include "platform/clock.h"
#include "support/settings_fixture.h"

class ChatCore : public ::testing::Test {
 protected:
  ChatCore()
      : m_settings({{"general:nodeid", "node1"},
                    {"rooms:1", "Lobby hall.gif"},
                    {"rooms:2", "谈天说地"},
                    {"text:msg_entered_room", "entered"}}) {}
  void SetUp() override {
    LoadChatCore();
    EmptyNodeLinkBuffers();
  }
  void TearDown() override {
    DestroyChatCore();
    EmptyNodeLinkBuffers();
    platform::ResetClockForTests();
  }

  // A logged-on user in no room.
  SessionPtr LogOn(const std::string& name, const std::string& id, const std::string& node = "node1") {
    auto session = std::make_shared<CUserSession>(name, "pw", "0", "red", kNoRoom, node, id, 0, "10.0.0.1");
    g_onlineList->Append(session);
    return session;
  }
  // A user put into a room (created when missing) as the room list does it.
  SessionPtr Enter(const std::string& room, const std::string& name, const std::string& id,
                   const std::string& node = "node1") {
    int existed = 0;
    const std::string roomId = g_roomList->CRoomListEnterRoom(std::make_shared<CRoomSession>(room), existed);
    RoomPtr entered = g_roomList->FindById(roomId);
    auto session =
        std::make_shared<CUserSession>(name, "pw", roomId, "red", entered->GetName(), node, id, 0, "10.0.0.1");
    entered->Members().Append(session);
    return session;
  }

  ScopedSettings m_settings;
};
