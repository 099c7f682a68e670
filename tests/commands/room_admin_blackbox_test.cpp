// Room administration through the real server: removing rooms, appointing
// managers, locking rooms, and the round of a user who waits at a locked
// room until its manager lets him in or turns him away.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>

#include "support/chat_client.h"
#include "support/server_process.h"
#include "support/site_files.h"
#include "support/tool_process.h"

namespace {

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";
const std::string kInvalidSession = "对不起，您的登录已经信息无效";

// How a reply to the speaker shows in his message frame.
std::string Reply(const std::string& text) { return "<font color= #000077 > " + text + "   </font><BR>\n"; }

class RoomAdmin : public ::testing::Test {
 protected:
  // "admin" is the chief of the bundled ini; the operator gives him his
  // password ("pw", as every test user has).
  void StartWithManagers(const std::string& managerFile) {
    m_server.Dir().Write("managerlist.txt", managerFile);
    ASSERT_TRUE(m_server.Start());
    ASSERT_TRUE(SetPasswordWithTool(m_server, "admin", "pw"));
  }

  // A user in the room with his message frame open, and nothing waiting in it.
  std::unique_ptr<ChatUser> In(const std::string& room, const std::string& name) {
    auto user = std::make_unique<ChatUser>(m_server, name);
    EXPECT_TRUE(user->LoggedOn()) << name;
    user->Join(room);
    user->OpenStream(room);
    return user;
  }
  std::string ManagerFile() { return m_server.Dir().File("managerlist.txt"); }

  ServerProcess m_server;
};

TEST_F(RoomAdmin, AnswersToManagersAndToOthers) {
  ASSERT_NO_FATAL_FAILURE(StartWithManagers("boss:" + kLobby + "\n"));
  auto admin = In(kLobby, "admin");
  auto boss = In(kLobby, "boss");
  auto ann = In(kLobby, "ann");
  auto tom = In(kLobby, "tom");
  std::map<std::string, ChatUser*> users = {{"admin", admin.get()}, {"boss", boss.get()}, {"ann", ann.get()}};
  for (ChatUser* user : {admin.get(), boss.get(), ann.get(), tom.get()}) user->Drain();
  struct Case {
    std::string speaker;
    std::string command;
    std::string reply;  // empty: he hears nothing
  } cases[] = {
      {"ann", "/rm " + kTalk, ""},
      {"boss", "/rm " + kTalk, ""},
      {"ann", "/setmanager ann " + kLobby, ""},
      {"boss", "/removemanager boss " + kLobby, ""},
      {"ann", "/lockroom " + kLobby, "系统: 对不起,你不是(" + kLobby + ")的管理员,锁定失败。"},
      {"ann", "/unlockroom " + kLobby, "系统: 对不起,你不是(" + kLobby + ")的管理员,解锁失败。"},
      {"boss", "/lockroom " + kTalk, "系统: 对不起,你不是(" + kTalk + ")的管理员,锁定失败。"},
      {"ann", "/lockroom <i>&", "系统: 对不起,你不是(&lt;i&gt;&amp;)的管理员,锁定失败。"},
      {"boss", "/lockroom", ""},
      {"boss", "/authorize ann", ""},  // the lobby is not locked
      {"boss", "/lockroom " + kLobby, "锁定聊天室(" + kLobby + ")成功"},
      {"ann", "/authorize tom", ""},
      {"boss", "/unlockroom " + kLobby, "解锁聊天室(" + kLobby + ")成功"},
      {"boss", "/unlockroom " + kLobby, "解锁聊天室(" + kLobby + ")成功"},
      {"admin", "/setmanager ann " + kLobby, "设置管理员成功"},
      {"ann", "/lockroom " + kLobby, "锁定聊天室(" + kLobby + ")成功"},
      {"ann", "/unlockroom " + kLobby, "解锁聊天室(" + kLobby + ")成功"},
      {"admin", "/removemanager ann " + kLobby, "取消管理员成功"},
      {"ann", "/lockroom " + kLobby, "系统: 对不起,你不是(" + kLobby + ")的管理员,锁定失败。"},
      {"admin", "/setmanager ann Nowhere", "设置管理员成功"},
      {"ann", "/lockroom Nowhere", "聊天室(Nowhere)已经被锁定"},
      {"ann", "/unlockroom Nowhere", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speaker + " " + c.command);
    ChatUser& speaker = *users.at(c.speaker);
    speaker.Say(c.command);
    if (c.reply.empty()) {
      EXPECT_EQ(speaker.Drain(), "");
    } else {
      EXPECT_EQ(speaker.WaitFor("</font><BR>\n"), Reply(c.reply));
    }
  }
  const std::string bystander = tom->Drain();
  EXPECT_EQ(bystander.find("成功"), std::string::npos) << bystander;
  EXPECT_EQ(bystander.find("失败"), std::string::npos) << bystander;
}

TEST_F(RoomAdmin, ALockedRoomsAdmissionRound) {
  // The file is read from its last line up: mia becomes the first listed manager.
  ASSERT_NO_FATAL_FAILURE(StartWithManagers("boss:" + kLobby + "\nmia:" + kLobby + "\n"));
  auto boss = In(kLobby, "boss");
  auto mia = In(kLobby, "mia");
  auto tom = In(kLobby, "tom");
  boss->Say("/lockroom " + kLobby);
  boss->WaitFor("成功");

  // ann comes from the room list: she waits, the room hears it, the managers get the links.
  auto ann = In(kLobby, "ann");
  const std::string waiting = "<STRONG>ann</STRONG></A> 申请在本聊天室聊天,正在等待批准</font><BR>\n";
  EXPECT_NE(tom->WaitFor("等待批准").find(waiting), std::string::npos);
  const std::string fromBoss = boss->WaitFor("进入\r\n</font><BR>\n");
  EXPECT_NE(fromBoss.find(waiting), std::string::npos);
  std::smatch link;
  ASSERT_TRUE(std::regex_search(fromBoss, link, std::regex("session=([0-9a-z]+)&message=/authorize")));
  const std::string session = link[1].str();
  EXPECT_EQ(session, mia->Session()) << "the links carry the first listed manager's session";
  const std::string who = "ann:node1%20" + kLobby;
  const std::string links = "<font color= #000077 > ann 请求加入此聊天室,请[<A HREF=\"/Blank?session=" + session +
                            "&message=/authorize%20" + who + "\" TARGET=\"goto\" >批准</A>]或[<A HREF=\"/Blank?session=" +
                            session + "&message=/refuse%20" + who + "\" TARGET=\"goto\" >拒绝</A>]进入\r\n</font><BR>\n";
  EXPECT_NE(fromBoss.find(links), std::string::npos) << fromBoss;
  EXPECT_NE(mia->WaitFor("进入\r\n</font><BR>\n").find(links), std::string::npos);
  EXPECT_EQ(tom->Drain().find("批准"), std::string::npos) << "only the managers get the links";

  // While she waits she sees system lines only, and nobody hears her.
  tom->Say("while you wait");
  ann->Say("let me in");
  ann->Say("/help");
  const std::string seen = ann->WaitFor("帮助目录");
  EXPECT_NE(seen.find("帮助目录"), std::string::npos);
  EXPECT_EQ(seen.find("while you wait"), std::string::npos);
  EXPECT_EQ(seen.find("等待批准"), std::string::npos) << "the notice goes to the approved members";
  EXPECT_EQ(tom->Drain().find("let me in"), std::string::npos);

  // A refusal reaches her too, and leaves her waiting.
  boss->Get("/Blank?session=" + session + "&message=/refuse%20" + UrlEncode("ann:node1 " + kLobby));
  const std::string refused = "<font color=#ff0000>" + std::string("<a href=javascript:parent.choose('mia'); target=form>");
  EXPECT_NE(ann->WaitFor("进入本聊天室").find("说:拒绝(ann)进入本聊天室"), std::string::npos);
  EXPECT_NE(tom->WaitFor("进入本聊天室").find(refused), std::string::npos) << "said by the manager of the link";
  tom->Say("still waiting?");
  EXPECT_EQ(ann->Drain().find("still waiting?"), std::string::npos);

  // The link that authorizes lets her in.
  boss->Get("/Blank?session=" + session + "&message=/authorize%20" + UrlEncode("ann:node1 " + kLobby));
  EXPECT_NE(ann->WaitFor("进入本聊天室").find("说:允许(ann)进入本聊天室"), std::string::npos);
  EXPECT_NE(tom->WaitFor("进入本聊天室").find("说:允许(ann)进入本聊天室"), std::string::npos);
  tom->Say("welcome");
  EXPECT_NE(ann->WaitFor("welcome").find("welcome"), std::string::npos);
  ann->Say("thanks");
  EXPECT_NE(tom->WaitFor("thanks").find("thanks"), std::string::npos);

  // From another room the waiting text differs; a name nobody has is still announced.
  auto cat = In(kTalk, "cat");
  cat->Join(kLobby);
  EXPECT_NE(tom->WaitFor("等待批准").find("<STRONG>cat</STRONG></A> 申请进入本聊天室,正在等待批准"), std::string::npos);
  boss->Say("/authorize ghost");
  EXPECT_NE(tom->WaitFor("进入本聊天室").find("说:允许(ghost)进入本聊天室"), std::string::npos);
  // A manager enters his locked room without waiting.
  boss->Join(kTalk);
  boss->Join(kLobby);
  boss->OpenStream(kLobby);
  tom->Say("boss is back");
  EXPECT_NE(boss->WaitFor("boss is back").find("boss is back"), std::string::npos);
}

TEST_F(RoomAdmin, RemovingARoomEndsItsMembersSessions) {
  ASSERT_NO_FATAL_FAILURE(StartWithManagers("boss:" + kTalk + "\nboss:" + kLobby + "\n"));
  auto admin = In(kLobby, "admin");
  auto tom = In(kTalk, "tom");
  auto ann = In(kTalk, "ann");
  ann->Drain();
  admin->Say("/rm " + kTalk);
  EXPECT_EQ(admin->WaitFor("</font><BR>\n"), Reply("删除聊天室成功"));
  EXPECT_NE(tom->Get("/Blank?session=" + tom->Session() + "&message=hi").find(kInvalidSession), std::string::npos);
  EXPECT_NE(ann->Get("/Blank?session=" + ann->Session() + "&message=hi").find(kInvalidSession), std::string::npos);
  EXPECT_EQ(ann->Drain(), "<font color= #000077 > 系统: 本聊天室已被删除,请重新登录</font><BR>\n")
      << "nobody hears the members leave; each frame says why it ends";
  admin->Say("/mlist");
  const std::string managers = admin->WaitFor("</font><BR>\n");
  EXPECT_NE(managers.find("boss</font>(" + kLobby + ")"), std::string::npos) << managers;
  EXPECT_EQ(managers.find(kTalk), std::string::npos) << "its managers are gone";
  admin->Say("/list 全部");
  EXPECT_EQ(admin->WaitFor("</font><BR>\n").find(kTalk), std::string::npos) << "the room is gone";
}

TEST_F(RoomAdmin, ManagersSurviveARestartThroughTheManagerFile) {
  ASSERT_NO_FATAL_FAILURE(StartWithManagers("boss:" + kLobby + "\n"));
  {
    auto admin = In(kLobby, "admin");
    admin->Say("/setmanager tom " + kTalk);
    admin->WaitFor("成功");
    EXPECT_TRUE(WaitForFileText(ManagerFile(), "tom:" + kTalk + "\nboss:" + kLobby + "\n"));
    admin->Say("/removemanager boss " + kLobby);
    admin->WaitFor("成功");
    EXPECT_TRUE(WaitForFileText(ManagerFile(), "tom:" + kTalk + "\n"));
  }
  ASSERT_EQ(m_server.Stop(), 0);
  ASSERT_TRUE(m_server.Start());
  for (const auto& entry : std::filesystem::directory_iterator(m_server.Dir().Path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << "no temporary file is left";
  }
  auto tom = In(kTalk, "tom");
  tom->Say("/lockroom " + kTalk);
  EXPECT_EQ(tom->WaitFor("</font><BR>\n"), Reply("锁定聊天室(" + kTalk + ")成功"));
  auto boss = In(kLobby, "boss");
  boss->Say("/lockroom " + kLobby);
  EXPECT_NE(boss->WaitFor("</font><BR>\n").find("锁定失败"), std::string::npos);
}

}  // namespace
