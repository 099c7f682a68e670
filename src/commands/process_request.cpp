#include "commands/process_request.h"

#include "accounts/logon.h"
#include "accounts/password_change.h"
#include "accounts/registration.h"
#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "chat/room_names.h"
#include "commands/command_parser.h"
#include "commands/message_step.h"
#include "commands/speaker.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/account_pages.h"
#include "html/as_is_files.h"
#include "html/frame_pages.h"
#include "html/room_list_page.h"
#include "http/request.h"
#include "http/request_form.h"
#include "http/routes.h"
#include "platform/console.h"

namespace {

constexpr size_t kStaticNameLimit = 599;
constexpr size_t kSessionIdCopyLimit = 39;

void WriteLogonFile(CPage& page) { page.IncludeFile(GetSetting("files", "logon_html")); }

// "/newroom": a room from the room-list page's creation form.
void action_newroom(CPage& page, CChatCore& core, const SessionView& session, const std::string& roomName,
                    const std::string& requestedCategory) {
  const std::string category =
      requestedCategory.empty() || requestedCategory == kSystemCategory ? kOtherCategory : requestedCategory;
  if (!IsValidRoomName(roomName)) {
    page.IncludeFile("error_cr1.html");
    return;
  }
  if (roomName.size() > kRoomNameLimit) {
    page.IncludeFile("error_cr2.html");
    return;
  }
  const int created = CreateRoom(core, session, roomName, category, core.NodeId(), true);
  const std::string sessionId = session.id.substr(0, kSessionIdCopyLimit);
  if (sessionId.empty()) return;
  if (created) {
    WriteRoomCreatedPage(page, sessionId, roomName);
  } else {
    WriteRoomNotCreatedPage(page);
  }
}

// The page step for a request whose session names a user.
void AnswerWithUser(CRequest& request, CChatCore& core, const CRequestForm& form, const SessionView& session,
                    int route) {
  CPage& page = request.Page();
  const bool posted = request.Method() == kPost;
  switch (route) {
    case kRouteLogout:
      DoOut(core, session, core.NodeId());
      WriteLogonFile(page);
      break;
    case kRouteRoomList:
      DoRoomList(page, core, &session, form.FindField("rn"), kLoggedOnMode);
      break;
    case kRouteSpace:
      DoSpace(page, session);
      break;
    case kRouteGoto:
    case kRouteBlank:
      WriteBlankPage(page);
      break;
    case kRouteNewRoom:
      action_newroom(page, core, session, form.FindField("rn"), form.FindField("tp"));
      break;
    case kRouteFind:
      DoUserSearchPage(page, core, form.FindField("fun"));
      break;
    case kRouteMainForm:
      DoMainForm(page, core, session, kFramed, posted);
      break;
    case kRouteNoFrames:
      DoFramelessPage(page, core, session, posted);
      break;
    case kRouteMessages:
      DoMessage(page, core, session, kFramed);
      request.BecomeStream(session.id);
      break;
    case kRouteFrameSet:
      DoFrameSet(page, core, session);
      break;
    case kRouteOnline:
      DoOnline(page, core, session);
      break;
    default:
      WriteLogonFile(page);
      break;
  }
}

void ServeStaticFile(CPage& page, const std::string& path) {
  if (std::optional<TypedAnswer> asIs = AsIsFileAnswer(page.Site(), StaticFileName(path))) {
    page.SetTypedAnswer(std::move(*asIs));
    return;
  }
  page.WriteHeader(kNoCache);
  page.IncludeFile(StaticFileName(path.empty() ? "/" : path));
}

// The page step for a request that names no known user.
void AnswerWithoutUser(CRequest& request, CChatCore& core, const RequestServices& services, const CRequestForm& form,
                       int route) {
  CPage& page = request.Page();
  switch (route) {
    case kRouteLogon:
      DoLogon(request, form, core, *services.accountWork);
      break;
    case kRouteNewAccount:
      DoNewAccount(request, form, *services.accountWork, *services.registrations);
      break;
    case kRouteRegister:
      if (core.NodeLink().On()) {
        DoRegister(request, form, core, *services.registrations);
      } else {
        DoNewAccount(request, form, *services.accountWork, *services.registrations);
      }
      break;
    case kRouteChangePassword:
      DoChangePassword(request, form, core, *services.accountWork);
      break;
    case kRouteModifySecond:
      DoChangePassword1(request, form, core, *services.accountWork);
      break;
    case kRouteChangePass2:
      DoChangePassword2(request, form, core, *services.accountWork);
      break;
    case kRouteFind:
      DoUserSearchPage(page, core, form.FindField("fun"));
      break;
    case kRouteGoto:
    case kRouteBlank:
      WriteInvalidSessionNotice(page);
      break;
    default:
      ServeStaticFile(page, form.Path().value_or("/"));
      break;
  }
}

}  // namespace

std::string StaticFileName(const std::string& path) {
  if (path.empty() || path == "/") return "logon.html";
  const std::string upper = AsciiUpper(path);
  if (Contains(upper, "USERS") || Contains(upper, ".INI") || Contains(path, "..")) return "logon.html";
  return path.substr(1, kStaticNameLimit);
}

void ProcessRequest(CRequest& request, CChatCore& core, const RequestServices& services) {
  CRequestForm form;
  form.Parse(request.Path() ? request.Path()->c_str() : nullptr,
             request.QueryOrBody() ? request.QueryOrBody()->c_str() : nullptr);
  Speaker speaker = FindSpeaker(core, form);
  if (speaker.session) {
    CommandContext context{request, form, speaker, core, core.NodeId()};
    RunMessageStep(context);
  } else if (!form.FindField("session").empty() && ClassifyInput(form.FindField("message")).code == kFind) {
    platform::ConsoleWrite("find2\n");
    DoUserSearchPage(request.Page(), core, form.FindField("fun"));
  }
  const int route = GetRouteCode(form.Path());
  if (speaker.session) {
    AnswerWithUser(request, core, form, *speaker.session, route);
  } else {
    AnswerWithoutUser(request, core, services, form, route);
  }
}
