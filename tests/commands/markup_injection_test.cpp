// No field a user sends, no name and no room name can open a tag, add an
// attribute, or leave a quoted string or a script in what another user
// receives: for every field that a page or a stream shows, the shape of the
// markup (tags, attribute names, the skeleton of every script) with a hostile
// value is the shape with a harmless one.
#include <gtest/gtest.h>

#include <memory>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/markup_shape.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {

const std::string kLobby = "大厅";

const std::vector<std::string> kPayloads = {
    "red style=display:block onmouseover=alert(1)",
    "x');alert(1);//",
    "x\"onclick=\"alert(1)",
    "<script>alert(1)</script>",
    "'><img src=x onerror=alert(1)>",
    "%27);alert(1);//",
    "a\\",
    "\x95'",  // a lead byte of a two-byte character, then a quote
    "\xD5\x5C');alert(1);//",  // a character whose trail byte is a backslash, then a quote
    "&#39;);alert(1);//",      // a character reference to a quote
    "\" onfocus=alert(1) autofocus x=\"",
};

std::string Shape(const std::string& html) {
  std::string shape;
  for (const std::string& tag : MarkupShape(html)) shape += tag + "\n";
  return shape;
}

class MarkupInjection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new ServerProcess();
    ASSERT_TRUE(s_server->Start());
    s_speaker = new ChatUser(*s_server, "speaker");
    s_watcher = new ChatUser(*s_server, "watcher");
    for (ChatUser* user : {s_speaker, s_watcher}) {
      user->Join(kLobby);
      user->OpenStream(kLobby);
    }
  }
  static void TearDownTestSuite() {
    delete s_speaker;
    delete s_watcher;
    delete s_server;
  }

  // What the user's stream shows of what the action sends: the lines
  // between two harmless marker lines said before and after it.
  std::string Received(ChatUser& user, const std::function<void()>& action) {
    const std::string before = "marker" + std::to_string(++m_markers);
    s_speaker->Say(before);
    const std::string head = user.WaitFor(before, 3000);
    std::string seen = head.substr(head.find(before)) + user.Drain(50);
    action();
    const std::string after = "marker" + std::to_string(++m_markers);
    s_speaker->Say(after);
    seen += user.WaitFor(after, 3000);
    const size_t start = seen.find("<BR>\n") + 5;  // past the first marker's line
    const size_t end = seen.rfind("\r\n<font color= #ff0000>", seen.find(after));
    return start < end && end != std::string::npos ? seen.substr(start, end - start) : std::string();
  }

  static ServerProcess* s_server;
  static ChatUser* s_speaker;
  static ChatUser* s_watcher;
  int m_markers = 0;
};

ServerProcess* MarkupInjection::s_server = nullptr;
ChatUser* MarkupInjection::s_speaker = nullptr;
ChatUser* MarkupInjection::s_watcher = nullptr;

TEST_F(MarkupInjection, FieldsOfAChatLine) {
  const std::map<std::string, std::string> harmless = {
      {"towho", "watcher"}, {"UserAction", "笑着"}, {"addsays", "说"}, {"addwordcolor", "0000ff"}, {"message", "hello"}};
  for (const auto& [field, plain] : harmless) {
    for (const bool privately : {false, true}) {
      std::map<std::string, std::string> fields;
      if (privately) fields["towhoway"] = "private";
      ChatUser& reader = privately ? *s_speaker : *s_watcher;  // the speaker sees his private copy
      const auto say = [&](const std::string& value) {
        std::map<std::string, std::string> form = fields;
        form[field] = value;
        const std::string message = field == "message" ? value : "hi";
        return Received(reader, [&] { s_speaker->Say(message, form); });
      };
      const std::string expected = Shape(say(plain));
      ASSERT_FALSE(expected.empty()) << field;
      for (const std::string& payload : kPayloads) {
        EXPECT_TRUE(Shape(say(payload)) == expected) << field << (privately ? " (private)" : "") << ": " << payload;
      }
    }
  }
}

TEST_F(MarkupInjection, ArgumentsOfCommands) {
  // (JOIN's argument is a room name: names that could break out are refused,
  // see the pages test; any other first word is an ordinary room.)
  for (const std::string command : {"/find ", "/list ", "/message watcher ", "/kick ", "/ignore ", "/help "}) {
    ChatUser& reader = command == "/message watcher " ? *s_watcher : *s_speaker;
    const std::string expected = Shape(Received(reader, [&] { s_speaker->Say(command + "plain"); }));
    for (const std::string& payload : kPayloads) {
      const std::string raw = Received(reader, [&] { s_speaker->Say(command + payload); });
      EXPECT_TRUE(Shape(raw) == expected) << command << payload << "\n" << raw;
    }
  }
}

TEST_F(MarkupInjection, PagesThatEchoUserValues) {
  const int port = s_server->HttpPort();
  const auto shapeOf = [&](const std::string& target) { return Shape(HttpGet(port, target)); };
  const std::string search = shapeOf("/find?fun=plain");
  const std::string rooms = shapeOf("/roomlist?rn=plain&session=" + s_watcher->Session());
  const std::string logon = shapeOf("/logon?rn=plain");
  for (const std::string& payload : kPayloads) {
    const std::string value = UrlEncode(payload);
    EXPECT_TRUE(shapeOf("/find?fun=" + value) == search) << payload;
    EXPECT_TRUE(shapeOf("/roomlist?rn=" + value + "&session=" + s_watcher->Session()) == rooms) << payload;
    EXPECT_TRUE(shapeOf("/logon?rn=" + value) == logon) << payload;
    // A room cannot be made with such a name, so no list ever shows one.
    const std::string made = HttpGet(port, "/newroom?session=" + s_watcher->Session() + "&rn=" + value + "&tp=");
    EXPECT_EQ(made.find("创建聊天室成功"), std::string::npos) << payload;
  }
}

TEST_F(MarkupInjection, NamesThatCouldBreakOutAreRefused) {
  const int port = s_server->HttpPort();
  const std::string include = kStandardHead + AsTemplate(ReadWholeFile(s_server->Dir().File("htdocs/include.html")));
  for (const std::string name : {"x\"onclick=\"alert(1)", "x'y", "a\\b", "a&b", "a<b", "a>b", "a\nb"}) {
    EXPECT_EQ(HttpPost(port, "/hyutyuy", "username=" + UrlEncode(name) + "&password=pw"), include) << name;
    const std::string logon = HttpPost(port, "/logon", "username=" + UrlEncode(name) + "&password=pw");
    EXPECT_EQ(logon.find("session="), std::string::npos) << "no session for " << name;
  }
}

}  // namespace
