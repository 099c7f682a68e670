// Three real nodes linked over a private redis-server: lines, rooms,
// sanctions, room locks, accounts and their passwords cross nodes; nodes
// that die or stop, and Redis going away, are survived.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <thread>

#include "html/page.h"
#include "nodelink/node_record.h"
#include "support/chat_client.h"
#include "support/event_stream_client.h"
#include "support/http_client.h"
#include "support/redis_process.h"
#include "support/server_process.h"
#include "support/site_files.h"
#include "support/tool_process.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kLobby = "大厅";

bool Eventually(const std::function<bool()>& test, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  do {
    if (test()) return true;
    std::this_thread::sleep_for(50ms);
  } while (Clock::now() < end);
  return test();
}

// The whole rendered line of a stream's text that holds the words.
std::string LineWith(const std::string& stream, const std::string& words) {
  const size_t at = stream.find(words);
  if (at == std::string::npos) return "";
  const size_t start = stream.rfind("<font color= #ff0000", at);  // every marked line starts so
  const size_t end = stream.find("<BR>", at);
  if (start == std::string::npos || end == std::string::npos) return "";
  return stream.substr(start, stream.find('\n', end) + 1 - start);
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class Cluster : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_redis.Start());
    for (const char* id : {"nodeA", "nodeB", "nodeC"}) ASSERT_TRUE(StartNode(id));
  }

  std::string NodeIni(const std::string& id) const {
    return "[general]\nnodeid = " + id + "\nifconnect = 1\nhistory_lines = 50\n" + m_redis.IniLines() +
           "block_ms = 200\n[user_database]\nhash_memory_kib = 8\nhash_passes = 1\n";
  }
  bool StartNode(const std::string& id) {
    m_nodes.push_back(std::make_unique<ServerProcess>(NodeIni(id)));
    ServerProcess& node = *m_nodes.back();
    return node.Start() && node.WaitForConsole("node link: connected to Redis", 5s);
  }
  ServerProcess& A() { return *m_nodes[0]; }
  ServerProcess& B() { return *m_nodes[1]; }
  ServerProcess& C() { return *m_nodes[2]; }

  // A user of that node in the room, with his message frame open.
  std::unique_ptr<ChatUser> InRoom(ServerProcess& node, const std::string& name, const std::string& room = kLobby) {
    auto user = std::make_unique<ChatUser>(node, name);
    EXPECT_TRUE(user->LoggedOn()) << name;
    user->Join(room);
    user->OpenStream(room);
    return user;
  }
  // Whom the viewer's online list offers ("name:node"), on his node.
  static std::string Online(const ChatUser& viewer, ServerProcess& node, const std::string& room = kLobby) {
    const std::string page = HttpGet(node.HttpPort(), "/online?session=" + viewer.Session() + "&RoomName=" + UrlEncode(room));
    std::string names;
    const std::regex chosen("choose\\('([^']*)'\\)");
    for (auto match = std::sregex_iterator(page.begin(), page.end(), chosen); match != std::sregex_iterator(); ++match) {
      names += (*match)[1].str() + " ";
    }
    return names;
  }
  static bool Lists(const ChatUser& viewer, ServerProcess& node, const std::string& who,
                    const std::string& room = kLobby) {
    return Online(viewer, node, room).find(who + " ") != std::string::npos;
  }
  std::string Template(ServerProcess& node, const std::string& name) {
    return kStandardHead + AsTemplate(ReadWholeFile(node.Dir().File("htdocs/" + name)));
  }

  RedisProcess m_redis;
  std::vector<std::unique_ptr<ServerProcess>> m_nodes;
};

TEST_F(Cluster, PublicLineReachesEveryNodeAsALocalLineRenders) {
  auto tom = InRoom(A(), "tom");
  auto amy = InRoom(A(), "amy");
  auto ann = InRoom(B(), "ann");
  auto bob = InRoom(C(), "bob");
  tom->Say("hi <b> & 100%", {{"towho", "ann:nodeB"}});
  const std::string local = LineWith(amy->WaitFor("100$"), "100$");
  ASSERT_NE(local.find("△"), std::string::npos) << local;
  EXPECT_NE(local.find("choose('tom:nodeA')"), std::string::npos) << local;
  EXPECT_EQ(LineWith(bob->WaitFor("100$"), "100$"), local);
  std::string marked = local;
  marked.replace(marked.find("△"), std::string("△").size(), "▲");
  EXPECT_EQ(LineWith(ann->WaitFor("100$"), "100$"), marked);
  EXPECT_EQ(Count(bob->Drain(500), "100$"), 0u) << "each line arrives once";
}

TEST_F(Cluster, PrivateLinesAndPagesReachOnlyTheirAddresseeOnAnotherNode) {
  auto tom = InRoom(A(), "tom");
  auto ann = InRoom(B(), "ann");
  auto bob = InRoom(C(), "bob");
  ASSERT_TRUE(Eventually([&] { return Lists(*tom, A(), "ann:nodeB") && Lists(*tom, A(), "bob:nodeC"); }, 3s))
      << Online(*tom, A());
  tom->Say("just for you", {{"towho", "ann:nodeB"}, {"towhoway", "private"}});
  const std::string own = LineWith(tom->WaitFor("just for you"), "just for you");
  ASSERT_NE(own.find("【密谈】"), std::string::npos) << own;
  EXPECT_EQ(LineWith(ann->WaitFor("just for you"), "just for you"), own);

  tom->Say("/message bob come here");
  const std::string paged = LineWith(tom->WaitFor("come here"), "come here");
  ASSERT_NE(paged.find("【传呼】"), std::string::npos) << paged;
  EXPECT_EQ(LineWith(bob->WaitFor("come here"), "come here"), paged);
  EXPECT_EQ(bob->Drain(300).find("just for you"), std::string::npos);
  EXPECT_EQ(ann->Drain(300).find("come here"), std::string::npos);
}

TEST_F(Cluster, RoomsMadeOnOneNodeAreListedAndHeardOnTheOthers) {
  auto tom = InRoom(A(), "tom");
  auto ann = InRoom(B(), "ann");
  ASSERT_TRUE(Eventually([&] { return Lists(*tom, A(), "ann:nodeB"); }, 3s));
  ann->Say("/join 茶馆 情感");
  EXPECT_NE(tom->WaitFor("创建聊天室(茶馆)").find("ann:nodeB"), std::string::npos)
      << "the creator's room hears it on every node";
  EXPECT_TRUE(Eventually(
      [&] { return HttpGet(A().HttpPort(), "/roomlist?session=" + tom->Session() + "&rn=" + UrlEncode("情感")).find("茶馆") !=
                   std::string::npos; },
      3s));
  ann->Join("茶馆");
  EXPECT_NE(tom->WaitFor("跳转到聊天室(茶馆)", 1000).find("【公告】"), std::string::npos)
      << "a move is announced on every node";
  EXPECT_TRUE(Eventually([&] { return !Lists(*tom, A(), "ann:nodeB"); }, 3s));
}

TEST_F(Cluster, KicksAndBansMadeOnOneNodeHoldOnTheOthers) {
  const std::string hall = "议事厅";
  auto boss = InRoom(A(), "boss");
  boss->Say("/join " + hall);
  boss->Join(hall);
  boss->OpenStream(hall);
  auto vic = std::make_unique<ChatUser>(C(), "vic");
  ASSERT_TRUE(Eventually([&] { return HttpGet(C().HttpPort(), "/roomlist?session=" + vic->Session() + "&rn=" +
                                                                  UrlEncode("其它")).find(hall) != std::string::npos; },
                         3s));
  vic->Join(hall);
  vic->OpenStream(hall);
  ASSERT_TRUE(Eventually([&] { return Lists(*boss, A(), "vic:nodeC", hall); }, 3s));

  boss->Say("/kick vic");
  EXPECT_NE(vic->WaitFor("被踢出").find("vic)因为言语不太文明被踢出,五分钟后可以再登录"), std::string::npos)
      << "the kicked user reads it on his own node";
  auto eve = InRoom(C(), "eve", hall);
  EXPECT_TRUE(Eventually([&] { return !Lists(*eve, C(), "vic:nodeC", hall); }, 3s)) << Online(*eve, C(), hall);
  EXPECT_EQ(HttpPost(C().HttpPort(), "/logon", "username=vic&password=pw"), Template(C(), "kicked.html"));

  ASSERT_TRUE(Eventually([&] { return Lists(*boss, A(), "eve:nodeC", hall); }, 3s));
  boss->Say("/ban eve");
  EXPECT_TRUE(Eventually(
      [&] { return HttpPost(C().HttpPort(), "/logon", "username=zed&password=pw") == Template(C(), "banned.html"); },
      3s))
      << "eve's address (every test client's) is banned on her node too";
}

class ClusterAccounts : public Cluster {
 protected:
  // A request written as a node would write it; the answer record's fields.
  ParsedRecord Ask(const std::string& record) {
    const std::optional<RedisValue> added =
        m_redis.Command({"XADD", "tolvan:requests", "*", "n", "asker", "i", "run1", "r", record});
    EXPECT_TRUE(added && !added->IsError());
    return AnswerTo(record, 5s);
  }
  ParsedRecord AnswerTo(const std::string& record, std::chrono::milliseconds limit) {
    ParsedRecord answer;
    const std::string serial = ParseNodeRecord(record)->Get("SN");
    Eventually(
        [&] {
          const std::optional<RedisValue> events = m_redis.Command({"XRANGE", "tolvan:events", "-", "+"});
          for (const RedisValue& entry : events ? events->elements : std::vector<RedisValue>()) {
            const auto fields = entry.elements[1].AsPairs();
            if (fields.size() < 5 || fields[2].second != "asker") continue;
            const std::optional<ParsedRecord> parsed = ParseNodeRecord(fields.back().second);
            if (parsed && parsed->Get("SN") == serial) answer = *parsed;
          }
          return !answer.type.empty();
        },
        limit);
    return answer;
  }
  std::string LogOn(ServerProcess& node, const std::string& name, const std::string& password) {
    return HttpPost(node.HttpPort(), "/logon", "username=" + name + "&password=" + password);
  }
  static bool LoggedOn(const std::string& answer) { return answer.find("/roomlist?rn=") != std::string::npos; }
  std::string ChangePassword(ServerProcess& node, const std::string& old, const std::string& fresh) {
    return HttpPost(node.HttpPort(), "/changepassword",
                    "username=tom&password=" + old + "&password2=" + fresh + "&password3=" + fresh);
  }
  std::string AskQuestion(ServerProcess& node, const std::string& name) {
    return HttpPost(node.HttpPort(), "/Modify_Second", "username=" + UrlEncode(name));
  }
  std::string Recover(ServerProcess& node, const std::string& answer, const std::string& fresh) {
    return HttpPost(node.HttpPort(), "/changepass2",
                    "username=tom&email=t%40x&birthday=1990-01-02&answer=" + UrlEncode(answer) + "&password=" + fresh);
  }
  int m_serial = 1000;
  std::string Serial() { return std::to_string(m_serial++); }
};

TEST_F(ClusterAccounts, AnAccountMadeOnOneNodeServesEveryNode) {
  EXPECT_NE(HttpPost(A().HttpPort(), "/register", "username=tom&password=pw").find("注册成功"), std::string::npos);
  EXPECT_NE(HttpPost(B().HttpPort(), "/register", "username=Tom&password=xx").find("名字已经被用"), std::string::npos)
      << "names are one account whatever their letter case";
  EXPECT_TRUE(LoggedOn(LogOn(C(), "tom", "pw")));
  EXPECT_EQ(LogOn(B(), "tom", "wrong"), Template(B(), "nameerror.html"));
  EXPECT_EQ(LogOn(B(), "nobody", "pw"), Template(B(), "nameerror.html"));
  const std::optional<RedisValue> stored = m_redis.Command({"HGET", "tolvan:account:tom", "pw"});
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->text.rfind("$argon2id$", 0), 0u) << "the password is kept as a hash";
}

// Characters whose trail bytes are 'A' and 'a' (81 41 and 81 61) are two
// accounts. An account the older folding kept under another character's
// key (C8 41 under C8 61) moves to its own key when either name asks.
TEST_F(ClusterAccounts, TrailBytesAreNeverFoldedAndOlderKeysMoveToTheirName) {
  const auto registers = [&](ServerProcess& node, const std::string& name, const std::string& password) {
    const std::string body = "username=" + UrlEncode(name) + "&password=" + password;
    return HttpPost(node.HttpPort(), "/register", body).find("注册成功") != std::string::npos;
  };
  const auto logsOn = [&](ServerProcess& node, const std::string& name, const std::string& password) {
    return LoggedOn(LogOn(node, UrlEncode(name), password));
  };
  const auto name = [&](const std::string& key) {
    const std::optional<RedisValue> stored = m_redis.Command({"HGET", "tolvan:account:" + key, "name"});
    return stored ? stored->text : std::string();
  };
  const auto fileUnderOlderKey = [&](const std::string& account, const std::string& olderKey) {
    m_redis.Command({"RENAME", "tolvan:account:" + account, "tolvan:account:" + olderKey});
  };
  EXPECT_TRUE(registers(A(), "\x81\x41", "first"));
  EXPECT_TRUE(registers(B(), "\x81\x61", "second"));
  EXPECT_TRUE(logsOn(C(), "\x81\x61", "second"));
  EXPECT_FALSE(logsOn(C(), "\x81\x61", "first"));

  ASSERT_TRUE(registers(A(), "\xC8\x41", "pw"));
  fileUnderOlderKey("\xC8\x41", "\xC8\x61");
  EXPECT_FALSE(logsOn(B(), "\xC8\x61", "pw")) << "the account is another name's";
  EXPECT_EQ(name("\xC8\x41"), "\xC8\x41") << "and it went to its own key";
  EXPECT_TRUE(registers(B(), "\xC8\x61", "pw2"));
  EXPECT_TRUE(logsOn(C(), "\xC8\x41", "pw"));
  EXPECT_TRUE(logsOn(C(), "\xC8\x61", "pw2"));

  ASSERT_TRUE(registers(A(), "\x81\x42", "pw"));
  fileUnderOlderKey("\x81\x42", "\x81\x62");
  EXPECT_TRUE(logsOn(C(), "\x81\x42", "pw")) << "its own name finds it under the older key";
  EXPECT_EQ(name("\x81\x42"), "\x81\x42");
  EXPECT_EQ(name("\x81\x62"), "");
}

TEST_F(ClusterAccounts, PasswordRequestsAreAnsweredFromTheAccounts) {
  ASSERT_NE(HttpPost(A().HttpPort(), "/register", "username=tom&password=pw").find("注册成功"), std::string::npos);
  const auto change = [&](const std::string& old, const std::string& fresh) {
    return BuildNodeRecord(RecordLayout::kPasswordChange, {{"UN", "tom"}, {"PWO", old}, {"PWN", fresh}},
                           std::stoi(Serial()));
  };
  const auto question = [&] {
    return BuildNodeRecord(RecordLayout::kPasswordStep1, {{"UN", "tom"}}, std::stoi(Serial()));
  };
  const auto recover = [&](const std::string& answer, const std::string& fresh) {
    return BuildNodeRecord(RecordLayout::kPasswordStep2,
                           {{"UN", "tom"}, {"EM", "t@x"}, {"BD", "1990"}, {"AN", answer}, {"PW", fresh}},
                           std::stoi(Serial()));
  };
  EXPECT_EQ(Ask(change("bad", "pw2")).Get("ST"), "-2");
  EXPECT_EQ(Ask(question()).Get("RP"), "htdataerror") << "no security data yet";
  const ParsedRecord changed = Ask(change("pw", "pw2"));
  EXPECT_EQ(changed.Get("ST"), "1");
  EXPECT_EQ(changed.Get("ND"), "asker");
  EXPECT_TRUE(LoggedOn(LogOn(C(), "tom", "pw2")));
  EXPECT_FALSE(LoggedOn(LogOn(C(), "tom", "pw")));

  m_redis.Command({"HSET", "tolvan:account:tom", "email", "t@x", "birthday", "1990", "question", "pet?", "answer",
                   "cat"});
  EXPECT_EQ(Ask(question()).Get("RP"), "pet?");
  EXPECT_EQ(Ask(recover("dog", "pw3")).Get("ST"), "-2");
  EXPECT_EQ(Ask(recover("cat", "pw3")).Get("ST"), "1");
  EXPECT_TRUE(LoggedOn(LogOn(B(), "tom", "pw3")));
}

const std::string kPasswordChanged = "修改口令成功，请[<A HREF=\"/logon.html\" TARGET=\"_top\">返回</A>]登录</p>";

TEST_F(ClusterAccounts, APasswordChangedOnOneNodeLogsOnAtAnother) {
  ASSERT_NE(HttpPost(A().HttpPort(), "/register", "username=tom&password=pw").find("注册成功"), std::string::npos);
  EXPECT_EQ(ChangePassword(B(), "wrong", "pw2"), Template(B(), "passwrong.html"));
  const std::string changed = ChangePassword(B(), "pw", "pw2");
  EXPECT_NE(changed.find(kPasswordChanged), std::string::npos) << changed;
  EXPECT_NE(changed.find("<title>聊天天地</title>"), std::string::npos);
  EXPECT_TRUE(LoggedOn(LogOn(C(), "tom", "pw2")));
  EXPECT_FALSE(LoggedOn(LogOn(C(), "tom", "pw")));
}

TEST_F(ClusterAccounts, RecoveryThroughThePagesWithTheSecurityDataInRedis) {
  ASSERT_NE(HttpPost(A().HttpPort(), "/register", "username=tom&password=pw").find("注册成功"), std::string::npos);
  EXPECT_EQ(AskQuestion(B(), "nobody"), Template(B(), "nouser.html"));
  EXPECT_EQ(AskQuestion(B(), "tom"), Template(B(), "nouser.html")) << "no security data yet";

  // Fifty bytes of question: the form shows the 48 that end on a whole character.
  const std::string pet = "\"<宠物>\"";
  std::string cat;
  for (int i = 0; i < 21; ++i) cat += "猫";
  m_redis.Command({"HSET", "tolvan:account:tom", "email", "t@x", "birthday", "1990-01-02", "question", pet + cat,
                   "answer", "咪咪"});
  const std::string form = AskQuestion(B(), "Tom");
  EXPECT_EQ(form.rfind(kStandardHead + "<html><head>" + std::string(PageHead()) + "<title>修改口令之二</title>", 0), 0u)
      << form;
  EXPECT_NE(form.find("<form name=\"modify\" method=\"POST\" action=\"/changepass2\">"
                      "<input TYPE=\"hidden\" name=\"username\" value=\"Tom\">"),
            std::string::npos)
      << form;
  EXPECT_NE(form.find("name size=\"12\" value=\"&quot;&lt;宠物&gt;&quot;" + cat.substr(2) + "\">"), std::string::npos)
      << form;

  EXPECT_EQ(Recover(C(), "狗狗", "pw3"), Template(C(), "wronganswer.html"));
  const std::string recovered = Recover(C(), "咪咪", "pw3");
  EXPECT_NE(recovered.find("<BODY bgcolor=\"#E8E8E8\" background='/image/01.gif' bgproperties=\"fixed\">"),
            std::string::npos);
  EXPECT_NE(recovered.find(kPasswordChanged), std::string::npos) << recovered;
  EXPECT_TRUE(LoggedOn(LogOn(A(), "tom", "pw3")));
  EXPECT_FALSE(LoggedOn(LogOn(A(), "tom", "pw")));
}

// Registration through the page keeps the security data in Redis, the
// answer as its hash; another node recovers the account from it.
TEST_F(ClusterAccounts, SecurityDataGivenAtRegistrationRecoversAtAnotherNode) {
  const std::string security = "&email=t%40x&birthday=1990-01-02&question=" + UrlEncode("猫的名字?") +
                               "&answer=" + UrlEncode("咪咪");
  ASSERT_NE(HttpPost(A().HttpPort(), "/register", "username=tom&password=pw" + security).find("注册成功"),
            std::string::npos);
  const std::optional<RedisValue> answer = m_redis.Command({"HGET", "tolvan:account:tom", "answer"});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->text.rfind("$argon2id$", 0), 0u) << "the answer is kept as a hash";
  EXPECT_NE(AskQuestion(B(), "tom").find("value=\"猫的名字?\">"), std::string::npos);
  EXPECT_EQ(Recover(C(), "狗狗", "pw3"), Template(C(), "wronganswer.html"));
  EXPECT_NE(Recover(C(), "咪咪", "pw3").find(kPasswordChanged), std::string::npos);
  EXPECT_TRUE(LoggedOn(LogOn(A(), "tom", "pw3")));
  EXPECT_FALSE(LoggedOn(LogOn(A(), "tom", "pw")));

  ASSERT_NE(HttpPost(A().HttpPort(), "/register", "username=ann&password=pw&email=a%40x").find("注册成功"),
            std::string::npos);
  EXPECT_EQ(AskQuestion(B(), "ann"), Template(B(), "nouser.html")) << "an e-mail address alone cannot recover";
}

// With the link on, accounts live in Redis alone: the operator's command
// puts the super manager's password there, and no node registers or
// recovers that name.
TEST_F(ClusterAccounts, TheSuperManagersPasswordIsSetInRedisByTheOperator) {
  EXPECT_EQ(HttpPost(B().HttpPort(), "/register", "username=ADMIN&password=pw"), Template(B(), "include.html"));
  EXPECT_FALSE(LoggedOn(LogOn(C(), "admin", "pw")));
  const ToolRun run = RunTool(A().Dir().Path(), {"-password", "Admin"}, "pw\n");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Redis"), std::string::npos) << run.output;
  const std::optional<RedisValue> stored = m_redis.Command({"HGET", "tolvan:account:admin", "pw"});
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->text.rfind("$argon2id$", 0), 0u);
  EXPECT_TRUE(LoggedOn(LogOn(C(), "admin", "pw")));
  m_redis.Command({"HSET", "tolvan:account:admin", "email", "t@x", "birthday", "1990", "question", "pet?", "answer",
                   "cat"});
  EXPECT_EQ(AskQuestion(B(), "admin"), Template(B(), "nouser.html")) << "not even with recovery data";
}

TEST_F(ClusterAccounts, ARequestReadTwiceGetsItsFirstAnswer) {
  const std::string record = BuildNodeRecord(RecordLayout::kRegister, {{"UN", "ann"}, {"PW", "pw"}}, 77);
  EXPECT_EQ(Ask(record).Get("ST"), "1");
  m_redis.Command({"XTRIM", "tolvan:events", "MAXLEN", "0"});
  EXPECT_EQ(Ask(record).Get("ST"), "1") << "the resent registration is not told the name is taken";
}

TEST_F(ClusterAccounts, ARequestTakenByANodeThatDiedIsAnsweredByAnother) {
  const std::string record = BuildNodeRecord(RecordLayout::kRegister, {{"UN", "ann"}, {"PW", "pw"}}, 78);
  // A node that never comes back takes the request before any other can
  // (one script: the waiting answerers are served after it): it stays pending.
  const std::optional<RedisValue> taken = m_redis.Command(
      {"EVAL",
       "redis.call('XADD', 'tolvan:requests', '*', 'n', 'asker', 'i', 'run1', 'r', ARGV[1]) "
       "return redis.call('XREADGROUP', 'GROUP', 'answerers', 'ghost', 'COUNT', 1, 'STREAMS', 'tolvan:requests', '>')",
       "0", record});
  ASSERT_TRUE(taken && !taken->IsNil() && !taken->IsError()) << (taken ? taken->text : "no reply");
  EXPECT_EQ(AnswerTo(record, 10s).Get("ST"), "1");
}

// With the link on, rooms and managers are given by a manager of
// "pRoomName" (not by [general] ManagerName); a manager's lock holds on
// every node.
TEST_F(Cluster, ALockMadeOnOneNodeMakesANewcomerOnAnotherWait) {
  ASSERT_TRUE(SetPasswordWithTool(A(), "admin", "pw"));
  auto admin = InRoom(A(), "admin");  // the ini's ManagerName
  auto chief = InRoom(A(), "chief");
  auto boss = InRoom(A(), "boss");
  auto bob = InRoom(C(), "bob");
  admin->Say("/setmanager boss " + kLobby);
  EXPECT_EQ(admin->Drain().find("管理员成功"), std::string::npos) << "the ini's chief rules only a node without the link";

  // chief is appointed for the whole network as another node's SETMANAGER would.
  const std::string appoint = BuildNodeRecord(RecordLayout::kSetManager, {{"RM", "pRoomName"}, {"UN", "chief"}}, 1);
  ASSERT_TRUE(m_redis.Command({"XADD", "tolvan:events", "*", "n", "nodeZ", "i", "run1", "r", appoint}));
  ASSERT_TRUE(Eventually(
      [&] {
        chief->Say("/setmanager boss " + kLobby);
        return chief->WaitFor("成功", 200).find("设置管理员成功") != std::string::npos;
      },
      3s));
  boss->Say("/lockroom " + kLobby);
  EXPECT_NE(boss->WaitFor("成功").find("锁定聊天室(" + kLobby + ")成功"), std::string::npos);
  // C applies the records in the order A wrote them: the lock came before this line.
  boss->Say("locked now");
  ASSERT_NE(bob->WaitFor("locked now").find("locked now"), std::string::npos);

  auto vic = std::make_unique<ChatUser>(C(), "vic");
  ASSERT_TRUE(vic->LoggedOn());
  vic->Join(kLobby);
  EXPECT_NE(vic->OpenStream(kLobby).find("您还没有获准在此聊天室聊天,请等待室主批准"), std::string::npos);
  vic->Say("let me in");
  EXPECT_EQ(bob->Drain(500).find("let me in"), std::string::npos) << "nobody hears a user who waits";

  ASSERT_TRUE(Eventually([&] { return Lists(*boss, A(), "vic:nodeC"); }, 3s));
  boss->Get("/Blank?session=" + boss->Session() + "&message=/authorize%20vic:nodeC");
  EXPECT_NE(vic->WaitFor("进入本聊天室").find("说:允许(vic)进入本聊天室"), std::string::npos);
  vic->Say("thank you");
  EXPECT_NE(bob->WaitFor("thank you").find("thank you"), std::string::npos);
}

// The id of the event that holds the line "L<n>E" ("" when none does).
std::string IdOfLine(const std::string& text, int n) {
  const std::string words = "L" + std::to_string(n) + "E\"";
  for (const Event& event : Events(text)) {
    if (event.type == "line" && event.data.find(words) != std::string::npos) return event.id;
  }
  return "";
}

// The line numbers of a stream in its order, from the first to the last
// given (each once, or the test fails on the text).
std::string LinesOf(EventStream& stream, int first, int last) {
  for (int n = first; n <= last; ++n) {
    const std::string words = "L" + std::to_string(n) + "E\"";
    if (stream.Text().find(words) == std::string::npos) stream.WaitFor(words, 5000);
  }
  const std::string& text = stream.Text();
  std::string all = Numbers(Events(text));
  // Keep the numbers in [first, last], in the stream's order.
  std::string kept;
  for (size_t at = 0; at < all.size();) {
    const size_t comma = all.find(',', at);
    const int n = std::stoi(all.substr(at, comma - at));
    if (n >= first && n <= last) kept += std::to_string(n) + ",";
    at = comma + 1;
  }
  return kept;
}

TEST_F(Cluster, AnEventStreamResumesOnAnotherNodeAfterItsNodeDied) {
  auto tom = InRoom(A(), "tom");
  auto bob = InRoom(B(), "bob");
  ChatUser amy(A(), "amy");
  amy.Join(kLobby);
  ChatUser ann(C(), "ann");
  ann.Join(kLobby);
  EventStream amys(A(), amy.Session());
  ASSERT_NE(amys.WaitFor("event: reset").find("event: reset"), std::string::npos);
  auto sayInTurn = [&](int first, int last) {
    // Two nodes speak at once: the room's order is the one the link gives.
    for (int n = first; n <= last; ++n) (n % 2 == 1 ? *tom : *bob).Say("L" + std::to_string(n) + "E");
  };
  std::string lastId;
  {
    EventStream anns(C(), ann.Session());
    ASSERT_NE(anns.WaitFor("event: reset").find("event: reset"), std::string::npos) << "her stream is open";
    sayInTurn(1, 4);
    const std::string order = LinesOf(amys, 1, 4);
    ASSERT_EQ(order.size(), std::string("1,2,3,4,").size()) << amys.Text();
    EXPECT_EQ(LinesOf(anns, 1, 4), order) << "every node shows the room's lines in one order";
    for (int n = 1; n <= 4; ++n) {
      EXPECT_EQ(IdOfLine(anns.Text(), n), IdOfLine(amys.Text(), n)) << "a line has one place on every node: L" << n;
    }
    EXPECT_NE(anns.Text().find("\"continues\":true"), std::string::npos)
        << "the room's first line in the link's order renames its life; what is shown stays";
    lastId = anns.LastId();
  }
  C().Stop(SIGKILL);
  sayInTurn(5, 8);
  const std::string order = LinesOf(amys, 5, 8);
  bob->WaitFor("L8E", 5000);

  // Her browser comes back through another node, where she logs on again.
  ChatUser back(B(), "ann2");
  back.Join(kLobby);
  EventStream resumed(B(), back.Session(), lastId);
  EXPECT_EQ(LinesOf(resumed, 5, 8), order) << "nothing missing, nothing twice: " << resumed.Text();
  const std::vector<Event> events = Events(resumed.Text());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].type, "line") << "no reset: the position holds on this node too";
  EXPECT_EQ(Numbers(events).substr(0, order.size()), order) << "and nothing before them";
  for (int n = 5; n <= 8; ++n) EXPECT_EQ(IdOfLine(resumed.Text(), n), IdOfLine(amys.Text(), n)) << "L" << n;
}

TEST_F(Cluster, TheUsersOfAKilledNodeLeaveWithinTenSeconds) {
  auto tom = InRoom(A(), "tom");
  auto ann = InRoom(B(), "ann");
  ASSERT_TRUE(Eventually([&] { return Lists(*tom, A(), "ann:nodeB"); }, 3s));
  B().Stop(SIGKILL);
  EXPECT_TRUE(Eventually([&] { return !Lists(*tom, A(), "ann:nodeB"); }, 10s)) << Online(*tom, A());
  EXPECT_NE(tom->WaitFor("离开了聊天室").find("ann:nodeB"), std::string::npos) << "the room hears her leave";
}

TEST_F(Cluster, ANodeThatStopsSaysGoodbyeAtOnce) {
  auto tom = InRoom(A(), "tom");
  auto bob = InRoom(C(), "bob");
  ASSERT_TRUE(Eventually([&] { return Lists(*tom, A(), "bob:nodeC"); }, 3s));
  C().Stop(SIGINT);
  EXPECT_TRUE(A().WaitForConsole("node link: node nodeC left", 2s));
  EXPECT_FALSE(Lists(*tom, A(), "bob:nodeC"));
}

TEST_F(Cluster, ANodeThatStartsLateSeesTheRoomsAndUsersAlreadyThere) {
  auto tom = InRoom(A(), "tom");
  auto ann = InRoom(B(), "ann");
  ann->Say("/join 书房 技术");
  ASSERT_TRUE(Eventually([&] { return Lists(*tom, A(), "ann:nodeB"); }, 3s));
  ASSERT_TRUE(StartNode("nodeD"));
  ServerProcess& late = *m_nodes.back();
  auto dan = InRoom(late, "dan");
  EXPECT_TRUE(Eventually([&] { return Lists(*dan, late, "tom:nodeA") && Lists(*dan, late, "ann:nodeB"); }, 2s))
      << Online(*dan, late);
  EXPECT_NE(HttpGet(late.HttpPort(), "/roomlist?session=" + dan->Session() + "&rn=" + UrlEncode("技术")).find("书房"),
            std::string::npos);
}

TEST_F(Cluster, NodesGoOnWhileRedisIsAwayAndResumeWhenItIsBack) {
  auto tom = InRoom(A(), "tom");
  auto amy = InRoom(A(), "amy");
  auto ann = InRoom(B(), "ann");
  auto bob = InRoom(C(), "bob");
  m_redis.Kill();
  tom->Say("said while Redis was away");
  EXPECT_NE(amy->WaitFor("said while Redis was away").find("said while"), std::string::npos);
  EXPECT_TRUE(A().WaitForConsole("unreachable", 5s));

  ASSERT_TRUE(m_redis.Start());
  for (ServerProcess* node : {&A(), &B(), &C()}) {
    EXPECT_TRUE(Eventually([&] { return Count(node->Console(), "node link: connected to Redis") >= 2; }, 10s));
  }
  tom->Say("said after the restart");
  EXPECT_NE(ann->WaitFor("said after the restart", 10000).find("said after"), std::string::npos);
  EXPECT_NE(bob->WaitFor("said after the restart", 10000).find("said after"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return Lists(*ann, B(), "bob:nodeC") && Lists(*ann, B(), "tom:nodeA"); }, 5s))
      << "each node wrote its users again: " << Online(*ann, B());
}

TEST_F(Cluster, ARequestMadeWhileRedisIsAwayFailsAsOneWithoutAnAnswer) {
  m_redis.Kill();
  ASSERT_TRUE(A().WaitForConsole("unreachable", 5s));
  const auto start = Clock::now();
  EXPECT_EQ(Exchange(A().HttpPort(), "POST /register HTTP/1.0\r\nContent-Length: 24\r\n\r\nusername=tom&password=pw", 30s),
            Template(A(), "errorr.html"));
  EXPECT_GE(Clock::now() - start, 9s) << "three sends, ten seconds, as without a transport";
  EXPECT_EQ(HttpGet(A().HttpPort(), "/").find("HTTP/1.0 200 OK"), 0u) << "the node goes on serving";
}

}  // namespace
