#include "html/room_tables.h"

#include <array>

#include "chat/chat_core.h"
#include "html/escape.h"

namespace {
// How a locked room is marked in the lists, in red, with what stands around
// the word; nothing for an open room.
std::string LockedMark(const RoomView& room, std::string_view before = "", std::string_view after = "") {
  if (!room.locked) return {};
  return "<font color=#ff0000>" + std::string(before) + "锁定" + std::string(after) + "</font>";
}

const std::array<const char*, 5> kUserCategories = {"情感", "娱乐", "体育", "技术", "其它"};

void AppendEntries(CTextBuffer& buffer, const std::string& viewerSession, const std::vector<RoomView>& rooms) {
  CRoomListToBuffer0(buffer, viewerSession, rooms);
}
}  // namespace

std::string JoinLink(const std::string& viewer, const std::string& room) {
  return "/Blank?session=" + EscapeUrlComponent(viewer) + "&message=/join%20" + EscapeUrlComponent(room);
}

std::string JoinLinkInScript(const std::string& viewer, const std::string& room) {
  return "/Blank?session=" + EscapeJsString(EscapeUrlComponent(viewer)) + "&message=/join%20" +
         EscapeJsString(EscapeUrlComponent(room));
}

void CRoomListToBuffer0(CTextBuffer& buffer, const std::string& viewerSession, const std::vector<RoomView>& rooms) {
  for (const RoomView& room : rooms) {
    if (room.name.empty()) continue;
    buffer.AppendMany("[<A HREF=\"", JoinLink(viewerSession, room.name), "\" TARGET=\"_top\">",
                      EscapeText(room.name), "(", std::to_string(room.memberCount),
                      ")", LockedMark(room), "</A>]");
  }
}

void CRoomListToBuffer(CTextBuffer& buffer, CChatCore& core, const std::string& viewerSession) {
  buffer.AppendString("<br>系统聊天室:");
  AppendEntries(buffer, viewerSession, core.RoomsOfCategory(kSystemCategory, false));
  for (const char* category : kUserCategories) {
    CTextBuffer entries;
    AppendEntries(entries, viewerSession, core.RoomsOfCategory(category, false));
    if (entries.Empty()) {
      buffer.AppendMany("<br>", category, "类聊天室(<font color=#ff0000 size=2>暂无</font>)");
    } else {
      buffer.AppendMany("<br>", category, "类聊天室:", entries.View());
    }
  }
}

void CRoomListToBuffer3(CTextBuffer& buffer, const std::string& viewerSession, const std::string& category,
                        const std::vector<RoomView>& rooms, int totalMembers) {
  buffer.AppendMany("<div align=\"center\"><center>", "<form name=\"ogin\" METHOD=\"POST\" ACTION=\"\">",
                    "<table bgcolor=#e9f8fe border=\"0\" width=\"704\" height=\"40\">");
  const bool guest = viewerSession == kGuestSession;
  CTextBuffer cells;
  int counter = 1;
  for (const RoomView& room : rooms) {
    const int column = counter % 3;
    cells.AppendString(column == 1 ? "<tr><td width=\"27%\" height=\"15\" align=\"center\">"
                                   : "<td width=\"27%\" height=\"15\" align=\"center\">");
    const std::string link = "<a href=\"javascript:popwin('" + JoinLinkInScript(viewerSession, room.id) +
                             "','" + EscapeJsString(viewerSession) + "')\">";
    if (room.locked) {
      cells.AppendMany(link, EscapeText(room.name), LockedMark(room, "(", ")"), "</a>");
    } else if (!guest) {
      cells.AppendMany(link, EscapeText(room.name), "</a>");
    } else {
      cells.Append(EscapeText(room.name));
    }
    cells.AppendMany(
        "<br><select name=\"D1\" size=\"1\" style=\"background-color: #ffffff; color: #000000\"><option>"
        "\u3000\u3000\u3000在线",
        std::to_string(room.memberCount), "人\u3000\u3000\u3000</option>");
    for (const MemberView& member : room.members) cells.AppendMany("<option>", EscapeText(member.name), "</option>");
    cells.AppendString(column == 0 ? "</select></td></tr>" : "</select></td>");
    ++counter;
  }
  buffer.AppendMany("<TR><td width=\"27%\" align=\"center\" bgColor=\"#637dbc\"><font color=#ffffff>",
                    EscapeText(category));
  if (!cells.Empty()) {
    buffer.AppendMany("类聊天室\u3000\u3000 </font></TD></TR>", cells.View());
  } else {
    buffer.AppendString("类聊天室(<font color=#ff0000 size=2>暂无</font>)</font></TD></TR>");
  }
  buffer.AppendMany("<center><font color=Fuchsia>在线总人数:", std::to_string(totalMembers), "</font></center>",
                    "<tr><td width=\"100%\" colspan=\"4\" align=\"center\"></td></tr></table></form>");
  if (!guest) {
    buffer.AppendMany(
        "<form name=\"login\" METHOD=\"POST\" ACTION=\"newroom\" onsubmit=\"return(checksays());\">"
        "<table border=\"0\" width=\"704\" bgcolor=\"#f9cd8a\"><tr>"
        "<td width=\"248\" align=\"right\">新建聊天室名: <input type=\"text\" name=\"rn\" size=\"11\">"
        "<input type=\"hidden\" name=\"session\" value=\"",
        EscapeAttribute(viewerSession),
        "\"></td><td width=\"253\" align=\"center\">类别：<select name=\"tp\" size=\"1\">"
        "<option>其它</option><option>情感</option><option>娱乐</option><option>体育</option><option>技术</option>"
        "</select></td><td width=\"134\"><input type=\"submit\" name=\"B1\" value=\"创建\"></td></tr>"
        "</table></form>");
  }
  buffer.AppendString(
      "<form name=\"find\" action=\"find\" target=\"_top\">"
      "<table border=\"0\" width=\"704\" bgcolor=\"#c4ecff\"><tr><td align=\"center\">"
      "<img src=\"image/side1.gif\" width=\"8\" height=\"8\"> "
      "<font color=\"#FF853C\">在线查询网友…… 请输入要查询网友的名字</font> "
      "<input type=\"text\" name=\"fun\" size=\"22\"> <input type=\"submit\" name=\"b2\" value=\"查询\">"
      "</td></tr></table></form>"
      "</center></div><!--End MainBody-->");
}

void CRoomListUserToBuffer(CTextBuffer& buffer, const std::string& viewerSession, const std::vector<RoomView>& rooms) {
  for (const RoomView& room : rooms) {
    if (room.name.empty()) continue;
    buffer.AppendMany("<br>[<A HREF=\"", JoinLink(viewerSession, room.name), "\" TARGET=\"_top\">",
                      EscapeText(room.name), "(", std::to_string(room.memberCount), ")",
                      LockedMark(room), "</A>]");
    for (const MemberView& member : room.members) {
      buffer.AppendMany("[<font color=#ff0000>", EscapeText(member.name), "</font>]");
    }
  }
}

void OnlineToBuffer(CTextBuffer& buffer, const RoomView& room, bool nodeLink) {
  for (const MemberView& member : room.members) {
    const char* mark = member.manager ? "★" : member.approved ? "☆" : "○";
    const std::string chosen = nodeLink ? member.name + ":" + member.nodeId : member.name;
    buffer.AppendMany("&nbsp;[<a href=\"javascript:parent.choose('", EscapeAttribute(EscapeJsString(chosen)),
                      "');\" target=form>", mark, EscapeText(member.name), "</font></a>]<br>\r\n");
  }
}

void CManagerListToBuffer(CTextBuffer& buffer, const std::vector<ManagerEntry>& managers) {
  for (const ManagerEntry& entry : managers) {
    if (entry.room != kNoRoom) {
      buffer.AppendMany("<font color=#ff0000>", EscapeText(entry.name), "</font>(", EscapeText(entry.room), ")");
    }
  }
}

std::string SearchResultText(const std::vector<SearchHit>& hits, int searcherLevel) {
  std::string text;
  for (const SearchHit& hit : hits) {
    text += EscapeText(hit.name);
    if (searcherLevel == kSeeAddressesLevel) text += "(" + EscapeText(hit.ipAddress) + ")";
    text += ":" + EscapeText(hit.roomName) + "&nbsp;";
  }
  return text;
}
