#include "accounts/logon.h"

#include "accounts/node_answer.h"
#include "accounts/session_id.h"
#include "accounts/user_database.h"
#include "chat/password_list.h"
#include "chat/room_list.h"
#include "chat/timed_name_list.h"
#include "foundation/settings.h"
#include "http/client_connection.h"
#include "http/request_form.h"
#include "http/room_list_page.h"
#include "platform/console.h"
#include "platform/process_mutexes.h"

namespace {

struct Sanctions {
  bool banned = false;
  bool kicked = false;
};

platform::CNamedMutex& KickBan() { return platform::GetProcessMutex(platform::ProcessMutex::kKickBan); }

void PurgeSanctions() {
  platform::CMutexGuard guard(KickBan());
  if (!guard) return;
  if (g_banList) g_banList->Purge(kBanAge);
  if (g_kickList) g_kickList->Purge(kKickAge);
}

Sanctions FindSanctions(const std::string& address, const std::string& name, bool nameAcceptable) {
  Sanctions found;
  platform::CMutexGuard guard(KickBan());
  if (!guard) return found;
  found.banned = g_banList && g_banList->Find(address);
  found.kicked = nameAcceptable && g_kickList && g_kickList->Find(name);
  return found;
}

// A fresh session in g_onlineList under an id nobody holds.
SessionPtr CreateLogonSession(const std::string& name, const std::string& password, const std::string& nodeId,
                              const std::string& address) {
  platform::CMutexGuard guard(platform::GetProcessMutex(platform::ProcessMutex::kLogon));
  if (!guard || !g_onlineList || !g_roomList) return nullptr;
  std::string id;
  do {
    id = MakeSessionId();
  } while (g_roomList->CRoomSessionListFindUserSession(id, nodeId) || g_onlineList->FindBySessionAndNode(id, nodeId));
  auto session = std::make_shared<CUserSession>(name, password, "0", "red", kNoRoom, nodeId, id, 0, address);
  g_onlineList->Append(session);
  return session;
}

void DropLogonSession(const SessionPtr& session, const std::string& nodeId) {
  session->SetRemovalMode(kSilentRemoval);
  if (g_onlineList) g_onlineList->RemoveBySessionAndNode(session->GetId(), nodeId);
}

int CheckPassword(const SessionPtr& session, const std::string& password, const std::string& nodeId,
                  const std::string& address) {
  if (NodeLinkOn()) {
    return AskNodeAndWait(RecordLayout::kLogon,
                          {{"UN", session->GetName()}, {"PW", password}, {"SS", session->GetId()}, {"ND", nodeId},
                           {"IP", address}},
                          kLogonResends);
  }
  return CheckAccount(UserDatabase(GetSetting("user_database", "directory")), address, session->GetName(), password,
                      "");
}

}  // namespace

bool IsAcceptableLogonName(const std::string& name) {
  return !name.empty() && name.find_first_of(" \xFF\t\x7F\x80:<>'") == std::string::npos;
}

void WritePostLogonFrameset(CClientConnection& connection, const std::string& sessionId) {
  connection.Response().AppendMany(
      "<HTML><head><title>", GetSetting("general", "name"),
      "</title></head>\n<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" rows=\"100%,*\">\n<frame "
      "name=\"roomlist\" src=\"/roomlist?rn=%cf%b5%cd%b3&session=",
      sessionId, "\" marginwidth=\"0\"><frame src=\"/space?session=", sessionId,
      "\" name=\"space\" marginwidth=\"0\"  scrolling=\"no\">\n<noframes></noframes></frameset>\n</html>\n");
  connection.WriteBodyEnd();
}

void DoLogon(CClientConnection& connection, const CRequestForm& form) {
  try {
    PurgeSanctions();
    const std::string& name = form.FindField("username");
    const std::string& password = form.FindField("password");
    const std::string address = connection.PeerAddress();
    const bool acceptable = IsAcceptableLogonName(name);
    const Sanctions sanctions = FindSanctions(address, name, acceptable);
    if (!acceptable) {
      DoRoomList(connection, nullptr, form.FindField("rn"), kLogonPageMode);
      return;
    }
    if (sanctions.banned) {
      connection.IncludeFile("banned.html");
      return;
    }
    if (sanctions.kicked) {
      connection.IncludeFile("kicked.html");
      return;
    }
    const std::string nodeId = OwnNodeId();
    SessionPtr session = CreateLogonSession(name, password, nodeId, address);
    if (!session) {
      connection.IncludeFile("error.html");
      return;
    }
    const int result = CheckPassword(session, password, nodeId, address);
    if (result < 0) {
      DropLogonSession(session, nodeId);
      connection.IncludeFile(result == kNodeAnswerFailed ? "error.html" : "nameerror.html");
      return;
    }
    SessionPtr current = g_onlineList->FindBySessionAndNode(session->GetId(), nodeId);
    if (!current) {
      DropLogonSession(session, nodeId);
      connection.IncludeFile("wrongpass.html");
      return;
    }
    current->SetLevel(result);
    WritePostLogonFrameset(connection, current->GetId());
  } catch (...) {
    platform::ConsoleWrite("catch in DoLogon\n");
  }
}
