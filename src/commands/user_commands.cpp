#include "commands/user_commands.h"

#include <vector>

#include "chat/delivery.h"
#include "chat/room_list.h"
#include "chat/sanctions.h"
#include "commands/command_parser.h"
#include "commands/message_step.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "http/client_connection.h"
#include "http/request_form.h"
#include "http/room_list_page.h"
#include "platform/console.h"

namespace {

// A search over every room: "name:room&nbsp;" per user of that name.
std::string SearchText(const std::string& name, int level) {
  CTextBuffer found;
  if (g_roomList) g_roomList->CRoomSessionSearchUserByName(found, name, level);
  return found.Str();
}

// The users a page goes to: the first hits of a search, split apart.
std::vector<std::string> PageHits(const std::string& name) {
  const std::string found = SearchText(name, 0);
  std::vector<std::string> hits;
  std::string_view text = found;
  while (!text.empty() && hits.size() < kMaxPageHits) {
    const size_t end = text.find("&nbsp;");
    hits.emplace_back(text.substr(0, std::min(end, kPageHitLimit)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 6);
  }
  return hits;
}

}  // namespace

void CommandManagerList(CommandContext& context) { ShowManager(context.speaker.session->GetId()); }

void CommandList(CommandContext& context, const std::string& category) {
  ShowRoom(context.speaker.session->GetId(), category);
}

void CommandPage(CommandContext& context, const std::string& target, const std::string& text) {
  try {
    CDelivery* delivery = g_delivery.load();
    if (target.empty() || delivery == nullptr) return;
    const CUserSession& speaker = *context.speaker.session;
    const std::string name = target.substr(0, target.find(':'));
    const std::string colour = context.form.FindField("addwordcolor");
    const std::vector<std::string> hits = PageHits(name);
    if (hits.empty()) {
      SystemLineToSpeaker(context, "#FF0000", "系统: 传呼对象不在线", " ");
      return;
    }
    for (const std::string& hit : hits) {
      const size_t colon = hit.find(':');
      if (colon == std::string::npos) continue;  // a user in no room
      const std::string roomName = hit.substr(colon + 1);
      RoomPtr room = g_roomList->FindByName(roomName);
      SessionPtr paged = room ? room->Members().FindByNameLocked(name) : nullptr;
      if (!paged || paged->NodeId().empty()) continue;
      const std::string line = "内容: " + CleanUserText(text) + "<font size=2 color=Fuchsia>(" +
                               speaker.RoomName() + ")-->(" + roomName + ")</font>";
      if (paged->NodeId() != context.ownNode) {
        delivery->PostPrivateMessage(context.ownNode, paged->NodeId(), paged->GetId(), roomName, kPage, colour,
                                     speaker.GetName(), line, paged->GetName(), kRecordOnly);
      } else if (paged->GetId() != speaker.GetId()) {
        delivery->PostPrivateMessage(context.ownNode, paged->NodeId(), paged->GetId(), roomName, kPage, colour,
                                     speaker.GetName(), line, paged->GetName(), kToSession);
      }
      delivery->PostPrivateMessage(context.ownNode, paged->NodeId(), speaker.GetId(), speaker.RoomName(), kPage,
                                   colour, speaker.GetName(), line, paged->GetName(), kToSession);
    }
  } catch (...) {
    platform::ConsoleWrite("catch in cmd_message\n");
  }
}

void CommandFind(CommandContext& context, const std::string& target) {
  if (context.speaker.inNoRoom) {
    platform::ConsoleWrite("find1\n");
    DoUserSearchPage(context.connection, context.form.FindField("fun"));
    return;
  }
  if (target.empty()) return;
  std::string list = SearchText(target, 0);
  if (list.empty()) list = "<font color=#ff0000 size=2>(暂无)</font>";
  SystemLineToSpeaker(context, "#ff0000", "查找(" + CleanUserText(target) + ")结果:", list);
}

void CommandUsers(CommandContext& context) {
  if (!context.speaker.room || !g_roomList) return;
  CTextBuffer users;
  g_roomList->CRoomListUserToBuffer(users, context.speaker.session->GetId());
  users.AppendMany("<br><font color=Fuchsia>在线总人数:", std::to_string(g_roomList->CRoomSessionAllCount()),
                   "</font>");
  SystemLineToSpeaker(context, "#0000ff", GetSetting("text", "MSG_USERS"), users.Str());
}

void CommandKickOrBan(CommandContext& context, unsigned code, const std::string& victim) {
  const std::string chief = GetSetting("general", "ManagerName");
  if (victim.empty()) return;
  if (!chief.empty() && (victim == chief || victim.find(chief + ":") != std::string::npos)) return;
  const CUserSession& speaker = *context.speaker.session;
  const std::string& room = context.form.FindField("RoomName");
  if (code == kKick) {
    if (Kick(speaker.GetName(), victim, room, 1) == 0) {
      ReplyToSpeaker(context, "系统: 你不是本聊天室的管理员或者踢人方法不对,命令与用户名之间应用英文空格。");
    }
  } else if (Ban(speaker.GetName(), victim, room, context.connection.PeerAddress(), 1) == 0) {
    ReplyToSpeaker(context, "系统: 你不是本聊天室的管理员或者绊人方法不对,命令与用户名之间应用英文空格。");
  }
}

void CommandCheckMoney(CommandContext& context, const std::string& target) {
  const std::string chief = GetSetting("general", "ManagerName");
  if (chief.empty() || target.empty() || context.speaker.session->GetName() != chief) return;
  ReplyToSpeaker(context, "检查结果: " + SearchText(target, kSeeAddressesLevel));
}
