// Rooms users make are capped, in all and per account ([general] max_rooms,
// max_rooms_per_user): past a cap, creation answers its failure page, and
// the server goes on serving.
#include <gtest/gtest.h>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {

TEST(RoomCaps, CreationPastACapFailsAndTheServerGoesOn) {
  ServerProcess server("[general]\nmax_rooms = 3\nmax_rooms_per_user = 2\n");
  ASSERT_TRUE(server.Start());
  ChatUser ann(server, "ann");
  ChatUser bob(server, "bob");
  const auto create = [&](ChatUser& user, const std::string& room) {
    const std::string page = user.Get("/newroom?session=" + user.Session() + "&rn=" + room + "&tp=");
    return page.find("创建聊天室成功") != std::string::npos;
  };
  EXPECT_TRUE(create(ann, "a1"));
  EXPECT_TRUE(create(ann, "a2"));
  EXPECT_FALSE(create(ann, "a3")) << "two rooms per account";
  EXPECT_TRUE(create(bob, "b1"));
  EXPECT_FALSE(create(bob, "b2")) << "three user rooms in all";
  ann.Join("大厅");
  ann.Say("/join typed");
  EXPECT_EQ(HttpGet(server.HttpPort(), "/roomlist?rn=%c6%e4%cb%fc&session=" + ann.Session()).find(">typed<"),
            std::string::npos)
      << "nor through the chat form";
  ChatUser late(server, "late");
  EXPECT_TRUE(late.LoggedOn()) << "logons still work";
  EXPECT_EQ(server.Stop(SIGTERM), 0) << "and the server stops when asked";
}

}  // namespace
