#include "api/api_chat.h"

#include "api/api_answer.h"
#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "chat/room_names.h"
#include "commands/chat_line.h"
#include "commands/command_parser.h"
#include "commands/join_command.h"
#include "commands/message_step.h"
#include "commands/process_request.h"
#include "commands/speaker.h"
#include "http/request.h"
#include "html/frame_pages.h"
#include "http/request_form.h"

namespace {

using Presence = CApiInput::Presence;

// The classic form's fields of the request's session, which finds the
// user as the pages find him (and renews his session).
CRequestForm SessionForm(CApiInput& input) {
  CRequestForm form;
  form.AddField("session", input.Text("session", Presence::kRequired));
  return form;
}

// The user the request's session names, once every field read well; none
// (and the error answered) otherwise.
std::optional<Speaker> FindApiSpeaker(CPage& page, const CApiInput& input, CChatCore& core, const CRequestForm& form) {
  if (input.Fault()) {
    AnswerError(page, *input.Fault());
    return std::nullopt;
  }
  Speaker speaker = FindSpeaker(core, form);
  if (!speaker.session) {
    AnswerError(page, ApiError::kUnknownSession);
    return std::nullopt;
  }
  return speaker;
}

void WriteRoom(CJsonWriter& json, const RoomView& room, const std::string& category) {
  json.BeginObject().Key("name").String(Utf8(room.name)).Key("category").String(Utf8(category));
  json.Key("members").Number(room.memberCount).Key("locked").Bool(room.locked).EndObject();
}

}  // namespace

void ApiRooms(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  const std::string wanted = input.Text("category", Presence::kOptional);
  if (input.Fault()) return AnswerError(request.Page(), *input.Fault());
  CJsonWriter json;
  json.BeginObject().Key("categories").BeginArray();
  for (const char* category : kRoomCategories) {
    if (!wanted.empty() && wanted != category) continue;
    json.BeginObject().Key("name").String(Utf8(category)).Key("rooms").BeginArray();
    for (const RoomView& room : core.RoomsOfCategory(category, false)) WriteRoom(json, room, category);
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
  AnswerJson(request.Page(), 200, json);
}

void ApiEnter(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  CPage& page = request.Page();
  const CRequestForm form = SessionForm(input);
  const std::string roomName = input.Name("room", Presence::kRequired, ApiError::kRoomNameOutsideGbk);
  std::string category = input.Text("category", Presence::kOptional);
  std::optional<Speaker> found = FindApiSpeaker(page, input, core, form);
  if (!found) return;
  Speaker& speaker = *found;
  if (!IsValidRoomName(roomName)) return AnswerError(page, ApiError::kBadRoomName);
  if (roomName.size() > kRoomNameLimit) return AnswerError(page, ApiError::kRoomNameTooLong);
  CommandContext context{request, form, speaker, core, core.NodeId()};
  Entry entry = EnterRoom(context, roomName);
  if (entry == Entry::kNoSuchRoom) {
    if (category.empty() || category == kSystemCategory) category = kOtherCategory;
    const bool created = CreateRoom(core, *speaker.session, roomName, category, core.NodeId(), true) != 0;
    entry = EnterRoom(context, roomName);  // made now, or by somebody else meanwhile
    if (entry == Entry::kNoSuchRoom) return AnswerError(page, created ? ApiError::kInternal : ApiError::kTooManyRooms);
  }
  const SessionView& session = *context.speaker.session;
  const std::optional<RoomView> room = core.FindRoom(session.roomName);
  if (!room) return AnswerError(page, ApiError::kNotInRoom);  // the room went at once
  CJsonWriter json;
  json.BeginObject().Key("room").BeginObject();
  json.Key("name").String(Utf8(room->name)).Key("category").String(Utf8(ListedCategory(*room)));
  json.Key("locked").Bool(room->locked).EndObject();
  json.Key("approved").Bool(session.approved).EndObject();
  AnswerJson(page, 200, json);
}

void ApiSay(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  CPage& page = request.Page();
  // The fields the chat form posts to "/Blank".
  CRequestForm form = SessionForm(input);
  form.AddField("message", input.Text("text", Presence::kRequired));
  // What the form sends when the user chose nothing is the default; the
  // form never sends an empty colour, which would drop the line unseen.
  form.AddField("towho", input.Name("to", Presence::kOptional, ApiError::kNameOutsideGbk, kEverybody));
  form.AddField("towhoway", input.Flag("private", false) ? "private" : "");
  form.AddField("UserAction", input.Text("action", Presence::kOptional));
  form.AddField("addsays", input.Text("says", Presence::kOptional, kFormDefaultSays));
  const std::string colour = input.Text("colour", Presence::kOptional);
  form.AddField("addwordcolor", colour.empty() ? kFormDefaultColour : colour);
  std::optional<Speaker> found = FindApiSpeaker(page, input, core, form);
  if (!found) return;
  Speaker& speaker = *found;
  // The form's hidden fields name the speaker and his room (the kick and the ban read it).
  form.AddField("UserName", speaker.session->name);
  if (speaker.room) form.AddField("RoomName", speaker.room->name);
  // The form drops such a line without a word; here the client hears why.
  if (ClassifyInput(form.FindField("message")).code == kChatLineCode) {
    if (speaker.inNoRoom) return AnswerError(page, ApiError::kNotInRoom);
    if (!speaker.session->approved) return AnswerError(page, ApiError::kNotApproved);
  }
  CommandContext context{request, form, speaker, core, core.NodeId()};
  RunMessageStep(context);
  AnswerNoContent(page);  // whatever a command wrote into the page stays unsent: replies go to the streams
}

void ApiOnline(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  CPage& page = request.Page();
  const std::optional<Speaker> speaker = FindApiSpeaker(page, input, core, SessionForm(input));
  if (!speaker) return;
  const std::optional<RoomView> room =
      speaker->inNoRoom ? std::nullopt : core.FindRoom(speaker->session->roomName, true);
  if (!room) return AnswerError(page, ApiError::kNotInRoom);
  CJsonWriter json;
  json.BeginObject().Key("room").String(Utf8(room->name)).Key("members").BeginArray();
  for (const MemberView& member : room->members) {
    json.BeginObject().Key("name").String(Utf8(member.name)).Key("node").String(Utf8(member.nodeId));
    json.Key("manager").Bool(member.manager).Key("approved").Bool(member.approved).EndObject();
  }
  json.EndArray().EndObject();
  AnswerJson(page, 200, json);
}

void ApiLogout(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  CPage& page = request.Page();
  const std::optional<Speaker> speaker = FindApiSpeaker(page, input, core, SessionForm(input));
  if (!speaker) return;
  DoOut(core, *speaker->session, core.NodeId());
  AnswerNoContent(page);
}
