// A fresh chat core for one test: settings, the system rooms, no server.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "chat/chat_core.h"
#include "chat/chat_loader.h"
#include "nodelink/node_outbox.h"
#include "platform/clock.h"
#include "support/settings_fixture.h"

class ChatCore : public ::testing::Test {
 protected:
  ChatCore()
      : m_settings({{"general:nodeid", "node1"},
                    {"rooms:1", "Lobby hall.gif"},
                    {"rooms:2", "谈天说地"},
                    {"text:msg_entered_room", "entered"}}) {}
  void SetUp() override { m_core = LoadChatCore(m_outbox); }
  void TearDown() override {
    m_core.reset();
    platform::ResetClockForTests();
  }

  // A logged-on user in no room.
  SessionView LogOn(const std::string& name, const std::string& id, const std::string& node = "node1") {
    SessionView session;
    session.id = id;
    session.name = name;
    session.password = "pw";
    session.nodeId = node;
    session.colour = "red";
    session.ipAddress = "10.0.0.1";
    EXPECT_TRUE(m_core->AddLogonSession(session));
    return session;
  }
  // A user put into a room (made when missing).
  SessionView Enter(const std::string& room, const std::string& name, const std::string& id,
                    const std::string& node = "node1") {
    LogOn(name, id, node);
    bool created = false;
    m_core->EnsureRoom(room, "", created);
    return m_core->MoveSession(id, node, room).arrived;
  }
  std::string Out() { return m_outbox.Snapshot(); }

  ScopedSettings m_settings;
  CNodeOutbox m_outbox;
  std::unique_ptr<CChatCore> m_core;
};
