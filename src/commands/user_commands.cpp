#include "commands/user_commands.h"

#include <vector>

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "chat/sanctions.h"
#include "commands/command_parser.h"
#include "commands/speaker.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/escape.h"
#include "html/room_list_page.h"
#include "html/room_tables.h"
#include "http/request.h"
#include "http/request_form.h"
#include "platform/console.h"

namespace {

void SendToViewer(CChatCore& core, const std::string& sessionId, const std::string& colour, const std::string& from,
                  const std::string& text) {
  const std::optional<SessionView> viewer = core.FindInAnyRoom(sessionId, core.NodeId(), true);
  if (viewer) Say(core, LineToSession(*viewer, colour, from, text));
}

// The users a page goes to: the first hits of a search for the name.
std::vector<SearchHit> PageHits(CChatCore& core, const std::string& name) {
  std::vector<SearchHit> hits = core.SearchUserByName(name);
  if (hits.size() > kMaxPageHits) hits.resize(kMaxPageHits);
  return hits;
}

}  // namespace

void ShowRoom(CChatCore& core, const std::string& sessionId, const std::string& category) {
  if (sessionId.empty() || category.empty()) return;
  CTextBuffer listing;
  if (category == "全部") {
    CRoomListToBuffer(listing, core, sessionId);
  } else {
    CRoomListToBuffer0(listing, sessionId, core.RoomsOfCategory(category, false));
  }
  SendToViewer(core, sessionId, "#ff0000", EscapeText(category) + GetSetting("text", "MSG_ROOM_LIST"), listing.Str());
}

void ShowManager(CChatCore& core, const std::string& sessionId) {
  if (sessionId.empty()) return;
  CTextBuffer listing;
  CManagerListToBuffer(listing, core.Managers());
  SendToViewer(core, sessionId, "#0000ff", "管理员列表:", listing.Str());
}

void CommandPage(CommandContext& context, const std::string& target, const std::string& text) {
  if (target.empty() || !TakeLineOfSpeaker(context)) return;
  const SessionView& speaker = context.Session();
  const std::string name = target.substr(0, target.find(':'));
  const std::string colour = FormColour(context.form);
  const std::vector<SearchHit> hits = PageHits(context.core, name);
  if (hits.empty()) {
    SystemLineToSpeaker(context, "#FF0000", "系统: 传呼对象不在线", " ");
    return;
  }
  for (const SearchHit& hit : hits) {
    const std::string roomName(CutToCharacters(hit.roomName, kPageHitLimit));
    const std::optional<SessionView> paged = context.core.FindMemberByName(roomName, name);
    if (!paged || paged->nodeId.empty()) continue;
    ChatEvent page;
    page.kind = MessageKind::kPage;
    page.isPrivate = true;
    page.audience = Audience::kSession;
    page.sender = speaker.name;
    page.senderNode = context.ownNode;
    page.addressee = paged->name;
    page.addresseeNode = paged->nodeId;
    page.colour = colour;
    page.text = "内容: " + CleanChatText(text) + "<font size=2 color=Fuchsia>(" + EscapeText(speaker.roomName) +
                ")-->(" + EscapeText(roomName) + ")</font>";
    const bool elsewhere = paged->nodeId != context.ownNode;
    if (elsewhere || paged->id != speaker.id) {
      page.room = roomName;
      page.session = paged->id;
      page.reach = elsewhere ? Reach::kElsewhere : Reach::kHere;
      Say(context.core, page);
    }
    page.room = speaker.roomName;
    page.session = speaker.id;
    page.reach = Reach::kHere;
    Say(context.core, page);
  }
}

void CommandFind(CommandContext& context, const std::string& target) {
  if (context.speaker.inNoRoom) {
    platform::ConsoleWrite("find1\n");
    DoUserSearchPage(context.request.Page(), context.core, context.form.FindField("fun"));
    return;
  }
  if (target.empty()) return;
  std::string list = SearchResultText(context.core.SearchUserByName(target), 0);
  if (list.empty()) list = "<font color=#ff0000 size=2>(暂无)</font>";
  SystemLineToSpeaker(context, "#ff0000", "查找(" + EscapeText(CleanUserText(target)) + ")结果:", list);
}

void CommandUsers(CommandContext& context) {
  if (!context.speaker.room) return;
  CTextBuffer users;
  CRoomListUserToBuffer(users, context.Session().id, context.core.OccupiedRooms(true));
  users.AppendMany("<br><font color=Fuchsia>在线总人数:", std::to_string(context.core.TotalMembers()), "</font>");
  SystemLineToSpeaker(context, "#0000ff", GetSetting("text", "MSG_USERS"), users.Str());
}

void CommandKickOrBan(CommandContext& context, unsigned code, const std::string& victim) {
  const std::string chief = GetSetting("general", "ManagerName");
  if (victim.empty()) return;
  if (!chief.empty() && (victim == chief || victim.find(chief + ":") != std::string::npos)) return;
  const SessionView& speaker = context.Session();
  const std::string& room = context.form.FindField("RoomName");
  if (code == kKick) {
    if (Kick(context.core, speaker.name, victim, room, 1) == 0) {
      ReplyToSpeaker(context, "系统: 你不是本聊天室的管理员或者踢人方法不对,命令与用户名之间应用英文空格。");
    }
  } else if (Ban(context.core, speaker.name, victim, room, context.request.ClientAddress(), 1) == 0) {
    ReplyToSpeaker(context, "系统: 你不是本聊天室的管理员或者绊人方法不对,命令与用户名之间应用英文空格。");
  }
}

void CommandCheckMoney(CommandContext& context, const std::string& target) {
  const std::string chief = GetSetting("general", "ManagerName");
  if (chief.empty() || target.empty() || context.Session().name != chief) return;
  ReplyToSpeaker(context, "检查结果: " + SearchResultText(context.core.SearchUserByName(target), kSeeAddressesLevel));
}

void CommandIgnore(CommandContext& context, const std::string& name) {
  const SessionView& speaker = context.Session();
  std::string answer;
  if (name.empty()) {
    answer = GetSetting("text", "MSG_IGNORE_REQUIRES");
  } else {
    context.core.Ignore(speaker.id, speaker.nodeId, name);
    answer = std::string(GetSetting("text", "MSG_IGNORING_FROM")) + " \"" + EscapeText(name) + "\" ***";
  }
  SystemLineToSpeaker(context, "#ff0000", GetSetting("text", "MSG_SYSTEM"), answer, MessageKind::kChatLine);
}
