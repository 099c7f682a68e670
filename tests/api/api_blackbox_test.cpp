// The JSON API through the real server, over real sockets: several requests
// on one kept connection and requests sent together, UTF-8 names and lines
// (an emoji, characters outside GBK), a classic frame and an API user in
// one room, commands, and every error with its code and text.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/json.h"
#include "http/client_connection.h"
#include "support/api_client.h"
#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"

using namespace std::chrono_literals;

namespace {

const std::string kLobby = "大厅";  // GB2312, as the classic pages carry it
const std::string kLobbyUtf8 = U8(u8"大厅");

// A JSON object of string members (UTF-8).
std::string JsonOf(std::initializer_list<std::pair<std::string, std::string>> members) {
  CJsonWriter json;
  json.BeginObject();
  for (const auto& [key, value] : members) json.Key(key).String(value);
  json.EndObject();
  return json.Text();
}

class Api : public ::testing::Test {
 protected:
  // The request time-out is what a kept connection waits for its next request.
  Api() : m_server("[network]\nrequest_timeout = 2\n") {}
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }
  int Port() const { return m_server.HttpPort(); }

  // Registers the name (UTF-8, password "pw") and logs on; the session.
  std::string LogOn(const std::string& name) {
    ApiConnection api(Port());
    EXPECT_EQ(api.Call("POST", "/api/register", JsonOf({{"name", name}, {"password", "pw"}})).status, 201) << name;
    const ApiAnswer logon = api.Call("POST", "/api/logon", JsonOf({{"name", name}, {"password", "pw"}}));
    EXPECT_EQ(logon.status, 200) << logon.body;
    return logon.Field("session");
  }

  std::string InRoom(const std::string& name, const std::string& roomUtf8) {
    const std::string session = LogOn(name);
    EXPECT_EQ(Enter(session, roomUtf8).status, 200);
    return session;
  }

  ApiAnswer Enter(const std::string& session, const std::string& roomUtf8) {
    return ApiCall(Port(), "POST", "/api/enter", JsonOf({{"session", session}, {"room", roomUtf8}}));
  }

  ApiAnswer Say(const std::string& session, const std::string& textUtf8,
                std::initializer_list<std::pair<std::string, std::string>> more = {}) {
    CJsonWriter json;
    json.BeginObject().Key("session").String(session).Key("text").String(textUtf8);
    for (const auto& [key, value] : more) json.Key(key).String(value);
    json.EndObject();
    return ApiCall(Port(), "POST", "/api/say", json.Text());
  }

  // A classic user in the lobby with his message frame open.
  std::unique_ptr<ChatUser> ClassicInLobby(const std::string& name) {
    auto user = std::make_unique<ChatUser>(m_server, name);
    EXPECT_TRUE(user->LoggedOn());
    user->Join(kLobby);
    user->OpenStream(kLobby);
    return user;
  }

  ServerProcess m_server;
};

// ---------------------------------------------------------------- keep-alive

TEST_F(Api, ACallSequenceOnOneKeptConnection) {
  ApiConnection api(Port());
  const std::string tom = U8(u8"汤姆");
  const std::string credentials = JsonOf({{"name", tom}, {"password", "pw"}});
  std::vector<ApiAnswer> answers;
  answers.push_back(api.Call("POST", "/api/register", credentials));
  answers.push_back(api.Call("POST", "/api/logon", credentials));
  const std::string session = answers.back().Field("session");
  answers.push_back(api.Call("GET", "/api/rooms"));
  answers.push_back(api.Call("POST", "/api/enter", JsonOf({{"session", session}, {"room", kLobbyUtf8}})));
  for (int i = 0; i < 3; ++i) {
    answers.push_back(api.Call("POST", "/api/say", JsonOf({{"session", session}, {"text", "line " + std::to_string(i)}})));
  }
  answers.push_back(api.Call("GET", "/api/online?session=" + session));
  answers.push_back(api.Call("POST", "/api/logout", JsonOf({{"session", session}})));
  answers.push_back(api.Call("GET", "/api/online?session=" + session));

  const std::vector<int> statuses = {201, 200, 200, 200, 204, 204, 204, 200, 204, 401};
  ASSERT_EQ(answers.size(), statuses.size());
  for (size_t i = 0; i < answers.size(); ++i) {
    EXPECT_EQ(answers[i].status, statuses[i]) << "call " << i << ": " << answers[i].body;
    EXPECT_TRUE(answers[i].KeptAlive()) << "call " << i;
    if (answers[i].status != 204) {
      EXPECT_EQ(answers[i].Header("content-type"), "application/json; charset=utf-8") << "call " << i;
      EXPECT_TRUE(ParseJson(answers[i].body).has_value()) << answers[i].body;
    }
  }
  EXPECT_EQ(answers[1].Field("name"), tom);
  EXPECT_EQ(answers[3].body, U8(u8R"({"room":{"name":"大厅","category":"系统","locked":false},"approved":true})"));
  EXPECT_EQ(answers[7].body,
            U8(u8R"({"room":"大厅","members":[{"name":"汤姆","node":"node1","manager":false,"approved":true}]})"));
}

// Requests that came in one packet are answered one after another, in
// order, also when one of them waits for the account work: the logon sent
// behind the registration finds the account.
TEST_F(Api, PipelinedRequestsAreAnsweredInOrder) {
  ApiConnection api(Port());
  const std::string credentials = JsonOf({{"name", "ann"}, {"password", "pw"}});
  ASSERT_TRUE(api.Send(ApiRequest("POST", "/api/register", credentials) + ApiRequest("POST", "/api/logon", credentials) +
                       ApiRequest("GET", "/api/rooms?category=" + std::string("%E6%8A%80%E6%9C%AF")) +
                       ApiRequest("GET", "/api/nothing") + ApiRequest("POST", "/api/logon", credentials)));
  const std::vector<int> statuses = {201, 200, 200, 404, 200};
  for (size_t i = 0; i < statuses.size(); ++i) {
    const std::optional<ApiAnswer> answer = api.Read();
    ASSERT_TRUE(answer) << "answer " << i << " never came";
    EXPECT_EQ(answer->status, statuses[i]) << "answer " << i << ": " << answer->body;
    if (i == 2) {
      EXPECT_EQ(answer->body, U8(u8R"({"categories":[{"name":"技术","rooms":[]}]})"));
    }
  }
  EXPECT_FALSE(api.Read(300ms)) << "one answer a request";
}

TEST_F(Api, TheConnectionClosesWhenTheClientSaysSoOrSpeaksHttp10) {
  struct Case {
    const char* what;
    std::string request;
    bool kept;
  };
  const Case cases[] = {
      {"HTTP/1.1", "GET /api/rooms HTTP/1.1\r\nHost: t\r\n\r\n", true},
      {"HTTP/1.1, close", "GET /api/rooms HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", false},
      {"HTTP/1.1, Close among tokens", "GET /api/rooms HTTP/1.1\r\nConnection: TE, Close\r\n\r\n", false},
      {"HTTP/1.0", "GET /api/rooms HTTP/1.0\r\n\r\n", false},
      {"HTTP/1.0, keep-alive", "GET /api/rooms HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
  };
  for (const Case& c : cases) {
    ApiConnection api(Port());
    ASSERT_TRUE(api.Send(c.request));
    const std::optional<ApiAnswer> answer = api.Read();
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, 200) << c.what;
    EXPECT_EQ(answer->KeptAlive(), c.kept) << c.what;
    EXPECT_EQ(answer->Header("connection"), c.kept ? "keep-alive" : "close") << c.what;
    EXPECT_EQ(api.ClosedWithin(300ms), !c.kept) << c.what;
  }
}

TEST_F(Api, AKeptConnectionWaitsTheRequestTimeOutForItsNextRequest) {
  ApiConnection api(Port());
  EXPECT_EQ(api.Call("GET", "/api/rooms").Header("keep-alive"), "timeout=2");
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(api.Call("GET", "/api/rooms").status, 200) << "used again in time, it stays";
  EXPECT_FALSE(api.ClosedWithin(1000ms));
  EXPECT_TRUE(api.ClosedWithin(3000ms)) << "idle past the request time-out, it closes";
}

TEST_F(Api, AConnectionAnswersABoundedNumberOfRequests) {
  ApiConnection api(Port());
  for (int i = 1; i < kMaxRequestsPerConnection; ++i) {
    const ApiAnswer answer = api.Call("GET", "/api/nothing");
    ASSERT_TRUE(answer.status == 404 && answer.KeptAlive()) << "request " << i;
  }
  const ApiAnswer last = api.Call("GET", "/api/nothing");
  EXPECT_EQ(last.status, 404);
  EXPECT_EQ(last.Header("connection"), "close");
  EXPECT_TRUE(api.ClosedWithin(1000ms));
}

// The pages keep their HTTP/1.0 answer and close after it, also on a
// connection an API answer kept open.
TEST_F(Api, ClassicPagesStayOneRequestAConnection) {
  ApiConnection api(Port());
  EXPECT_TRUE(api.Call("GET", "/api/rooms").KeptAlive());
  ASSERT_TRUE(api.Send("GET /logon.html HTTP/1.1\r\nHost: t\r\nConnection: keep-alive\r\n\r\n"));
  EXPECT_TRUE(api.ClosedWithin(2000ms));
  const std::string page = Exchange(Port(), "GET /logon.html HTTP/1.1\r\nHost: t\r\nConnection: keep-alive\r\n\r\n");
  EXPECT_EQ(page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << page.substr(0, 80);
}

// ---------------------------------------------------------------- characters

// What the API takes in UTF-8 reaches the chat as a browser's GB2312 form
// sends it: GBK characters as their bytes, the euro sign as 0x80, other
// characters as numeric references; so the classic frame shows it as it
// shows the form's lines.
TEST_F(Api, Utf8NamesAndLinesReachClassicFramesAsTheFormSendsThem) {
  auto ann = ClassicInLobby("ann");
  const std::string tom = InRoom(U8(u8"汤姆"), kLobbyUtf8);
  ASSERT_FALSE(tom.empty());
  // (Characters outside GB2312 stay out of the test macros, which quote their arguments as GB2312.)
  const std::string line = U8(u8"你好 😀 한 € 誠\\");
  ASSERT_EQ(Say(tom, line).status, 204);
  const std::string seen = ann->WaitFor("\\</font>");
  // The form's defaults: to everybody, "说", its first colour.
  EXPECT_NE(seen.find("<STRONG><font color=0000ff>汤姆</font></STRONG></A><font size=2 color=#000000>对</font>"
                      "<a href=javascript:parent.choose('大家'); target=form>"),
            std::string::npos)
      << seen;
  EXPECT_NE(seen.find("说: </font>你好 &#128512; &#54620; \x80 \xD5\x5C\\</font><BR>"), std::string::npos) << seen;

  // The same characters typed into the classic form are the same bytes.
  ann->Say("你好 &#128512; &#54620; \x80 \xD5\x5C\\");
  EXPECT_NE(ann->WaitFor("ann</font>").find("说: </font>你好 &#128512; &#54620; \x80 \xD5\x5C\\</font><BR>"),
            std::string::npos);
}

// A name or a room name the classic pages could not carry is refused.
TEST_F(Api, NamesOutsideGbkAreRefused) {
  const std::string nameText = U8(u8"名字里有经典页面无法显示的字符（如表情符号），请换一个名字。");
  const std::string credentials = JsonOf({{"name", U8(u8"tom😀")}, {"password", "pw"}});
  for (const std::string& call : {std::string("/api/register"), std::string("/api/logon")}) {
    const ApiAnswer answer = ApiCall(Port(), "POST", call, credentials);
    EXPECT_EQ(answer.status, 422) << call;
    EXPECT_EQ(answer.Field("error.code"), "bad_name") << call;
    EXPECT_EQ(answer.Field("error.text"), nameText) << call;
  }
  const std::string roomName = U8(u8"房间😀");
  const ApiAnswer room = Enter(LogOn("tom"), roomName);
  EXPECT_EQ(room.status, 422);
  EXPECT_EQ(room.Field("error.code"), "bad_room_name");
  EXPECT_EQ(room.Field("error.text"), U8(u8"聊天室名字里有经典页面无法显示的字符（如表情符号），请换一个名字。"));
}

// ---------------------------------------------------------------- one room

TEST_F(Api, AClassicUserAndAnApiUserSeeEachOthersLines) {
  auto ann = ClassicInLobby("ann");
  auto bob = ClassicInLobby("bob");
  const std::string tomSession = InRoom(U8(u8"汤姆"), kLobbyUtf8);
  ChatUser tom(m_server, "汤姆", LoggedOnAs{tomSession});  // his classic frame, under the API's session
  tom.OpenStream(kLobby);

  ASSERT_EQ(Say(tomSession, "hello from the api", {{"action", U8(u8"笑着")}, {"colour", "#00ff00"}}).status, 204);
  for (ChatUser* user : {ann.get(), bob.get(), &tom}) {
    const std::string seen = user->WaitFor("from the api");
    EXPECT_NE(seen.find("<font color=#00ff00><a href=javascript:parent.choose('汤姆'); target=form><STRONG>"
                        "<font color=#00ff00>汤姆</font></STRONG></A><font size=2 color=#000000>对</font>"),
              std::string::npos)
        << user->Name() << ": " << seen;
    EXPECT_NE(seen.find("笑着说: </font>hello from the api"), std::string::npos) << user->Name() << ": " << seen;
  }

  ann->Say("hello from the form");
  EXPECT_NE(tom.WaitFor("from the form").find("hello from the form"), std::string::npos);

  // A private line: ann and tom see it, bob does not.
  ASSERT_EQ(Say(tomSession, "just for ann", {{"to", "ann"}}).status, 204);  // "private" missing: a public line to ann
  EXPECT_NE(bob->WaitFor("just for ann").find("just for ann"), std::string::npos);
  const std::string privateLine = JsonOf({{"session", tomSession}, {"text", "secret"}, {"to", "ann"}});
  ASSERT_EQ(ApiCall(Port(), "POST", "/api/say", privateLine.substr(0, privateLine.size() - 1) + ",\"private\":true}").status,
            204);
  EXPECT_NE(ann->WaitFor("secret").find("【密谈】"), std::string::npos);
  EXPECT_NE(tom.WaitFor("secret").find("【密谈】"), std::string::npos);
  EXPECT_EQ(bob->Drain(300).find("secret"), std::string::npos);
}

// ---------------------------------------------------------------- commands

TEST_F(Api, CommandsRunAsTypedInTheForm) {
  auto ann = ClassicInLobby("ann");
  const std::string session = InRoom("tom", kLobbyUtf8);
  ChatUser tom(m_server, "tom", LoggedOnAs{session});
  tom.OpenStream(kLobby);

  // "/join" typed into the form makes a room and says so to the speaker alone.
  ASSERT_EQ(Say(session, U8(u8"/join 擂台")).status, 204);
  EXPECT_NE(tom.WaitFor("创建聊天室成功").find("创建聊天室成功"), std::string::npos);
  EXPECT_EQ(ann->Drain(300).find("创建聊天室成功"), std::string::npos);
  ASSERT_EQ(Say(session, "/find ann").status, 204);
  EXPECT_NE(tom.WaitFor("结果:").find("查找(ann)结果:"), std::string::npos);

  // He goes there; as its maker he manages it, and a kick works.
  const ApiAnswer entered = Enter(session, U8(u8"擂台"));
  EXPECT_EQ(entered.body, U8(u8R"({"room":{"name":"擂台","category":"其它","locked":false},"approved":true})"));
  const std::string bob = InRoom("bob", U8(u8"擂台"));
  ASSERT_EQ(Say(session, "/kick bob").status, 204);
  const ApiAnswer kicked = ApiCall(Port(), "POST", "/api/logon", JsonOf({{"name", "bob"}, {"password", "pw"}}));
  EXPECT_EQ(kicked.status, 403);
  EXPECT_EQ(kicked.Field("error.code"), "kicked");
  EXPECT_EQ(kicked.Field("error.text"), U8(u8"您因为言语不太文明被管理员踢出，五分钟后可以再登录。"));
  EXPECT_EQ(Say(bob, "still here?").status, 401) << "his session ended";
}

// A locked room lets a newcomer in waiting; his lines are refused until a
// manager approves him.
TEST_F(Api, ALockedRoomMakesTheNewcomerWait) {
  const std::string owner = InRoom("tom", U8(u8"书房"));
  ASSERT_EQ(Say(owner, U8(u8"/lock 书房")).status, 204);
  const std::string guest = LogOn("ann");
  const ApiAnswer entered = Enter(guest, U8(u8"书房"));
  EXPECT_EQ(entered.body, U8(u8R"({"room":{"name":"书房","category":"其它","locked":true},"approved":false})"));
  const ApiAnswer refused = Say(guest, "may I?");
  EXPECT_EQ(refused.status, 403);
  EXPECT_EQ(refused.Field("error.code"), "not_approved");
  EXPECT_EQ(refused.Field("error.text"), U8(u8"您还没有获准在此聊天室聊天,请等待室主批准"));
  EXPECT_EQ(Say(guest, "/help").status, 204) << "commands work while he waits";
  ASSERT_EQ(Say(owner, U8(u8"/authorize ann:node1 书房")).status, 204);
  EXPECT_EQ(Say(guest, "thanks").status, 204);
}

// ---------------------------------------------------------------- errors

TEST_F(Api, ErrorsCarryTheirCodeAndThePagesText) {
  const std::string session = LogOn("tom");
  struct Case {
    std::string method;
    std::string path;
    std::string body;
    int status;
    std::string code;
    std::string text;
  };
  const std::string badRequest = U8(u8"请求的格式不对。");
  const std::string badName = U8(u8"名字里不能有空格和 # + : < > & % ' 等特殊字符，也不能用“大家”和 ★ ☆ 等符号。");
  const std::string wrongPassword = U8(u8"没有这个用户，或者密码不对。");
  const std::string badRoomName = U8(u8"聊天室名字不能为空，也不能有空格、制表符和 : ; # % & < > ' \" \\ 等特殊字符。");
  const std::string notInRoom = U8(u8"您还没有进入聊天室。");
  const Case cases[] = {
      {"POST", "/api/say", JsonOf({{"session", "nobody"}, {"text", "x"}}), 401, "unknown_session",
       U8(u8"对不起，您的登录已经信息无效")},
      {"POST", "/api/logon", JsonOf({{"name", "tom"}, {"password", "wrong"}}), 401, "wrong_password", wrongPassword},
      {"POST", "/api/logon", JsonOf({{"name", "nobody"}, {"password", "pw"}}), 401, "wrong_password", wrongPassword},
      {"POST", "/api/register", JsonOf({{"name", "tom"}, {"password", "pw"}}), 409, "name_taken",
       U8(u8"对不起，名字已经被用")},
      {"POST", "/api/register", JsonOf({{"name", "a b"}, {"password", "pw"}}), 422, "bad_name", badName},
      {"POST", "/api/register", JsonOf({{"name", U8(u8"大家")}, {"password", "pw"}}), 422, "bad_name", badName},
      {"POST", "/api/register", JsonOf({{"name", std::string(21, 'x')}, {"password", "pw"}}), 422, "name_too_long",
       U8(u8"名字最多 20 个字节（10 个汉字）。")},
      {"POST", "/api/register", JsonOf({{"name", "ann"}, {"password", ""}}), 422, "bad_registration",
       U8(u8"名字和密码都要填写，密码最多 78 个字节；要能找回密码，提示问题和回答必须都填，提示问题最多 24 个汉字。")},
      {"POST", "/api/register", JsonOf({{"name", "ann"}, {"password", "pw"}, {"question", "q?"}}), 422,
       "bad_registration",
       U8(u8"名字和密码都要填写，密码最多 78 个字节；要能找回密码，提示问题和回答必须都填，提示问题最多 24 个汉字。")},
      {"POST", "/api/enter", JsonOf({{"session", session}, {"room", "a;b"}}), 422, "bad_room_name", badRoomName},
      {"POST", "/api/enter", JsonOf({{"session", session}, {"room", ""}}), 422, "bad_room_name", badRoomName},
      {"POST", "/api/enter", JsonOf({{"session", session}, {"room", std::string(31, 'r')}}), 422,
       "room_name_too_long", U8(u8"聊天室名字最多 30 个字节（15 个汉字）。")},
      {"POST", "/api/say", JsonOf({{"session", session}, {"text", "in no room"}}), 409, "not_in_room", notInRoom},
      {"GET", "/api/online?session=" + session, "", 409, "not_in_room", notInRoom},
      {"POST", "/api/say", "{\"session\":", 400, "bad_request", badRequest},
      {"POST", "/api/say", "[\"session\"]", 400, "bad_request", badRequest},
      {"POST", "/api/say", "", 400, "bad_request", badRequest},
      {"POST", "/api/say", "{\"session\":1,\"text\":\"x\"}", 400, "bad_request", badRequest},
      {"POST", "/api/say", JsonOf({{"session", session}}), 400, "bad_request", badRequest},
      {"POST", "/api/say", "{\"session\":\"s\",\"text\":\"x\",\"private\":\"yes\"}", 400, "bad_request", badRequest},
      {"POST", "/api/say", "{\"session\":\"s\",\"text\":\"a\",\"text\":\"b\"}", 400, "bad_request", badRequest},
      {"POST", "/api/say", "{\"session\":\"s\",\"text\":\"a\\u0000b\"}", 400, "bad_request", badRequest},
      {"POST", "/api/say", "{\"session\":\"s\",\"text\":\"\xC0\xAF\"}", 400, "bad_request", badRequest},
      {"GET", "/api/say", "", 405, "method_not_allowed", U8(u8"这个接口不接受这种请求方法。")},
      {"POST", "/api/rooms", "{}", 405, "method_not_allowed", U8(u8"这个接口不接受这种请求方法。")},
      {"GET", "/api/", "", 404, "not_found", U8(u8"没有这个接口。")},
  };
  ApiConnection api(Port());
  for (const Case& c : cases) {
    const ApiAnswer answer = api.Call(c.method, c.path, c.body);
    const std::string what = c.method + " " + c.path + " " + c.body;
    EXPECT_EQ(answer.status, c.status) << what << " -> " << answer.body;
    EXPECT_EQ(answer.Header("content-type"), "application/json; charset=utf-8") << what;
    EXPECT_EQ(answer.Field("error.code"), c.code) << what;
    EXPECT_EQ(answer.Field("error.text"), c.text) << what;
    EXPECT_TRUE(answer.KeptAlive()) << "an error keeps the connection too: " << what;
  }
}

}  // namespace
