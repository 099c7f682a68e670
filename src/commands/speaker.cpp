#include "commands/speaker.h"

#include "chat/password_list.h"
#include "chat/room_list.h"
#include "foundation/settings.h"
#include "http/request_form.h"

Speaker FindSpeaker(const CRequestForm& form) {
  Speaker speaker;
  const std::string& sessionId = form.FindField("session");
  if (sessionId.empty() || !g_roomList) return speaker;
  const std::string nodeId = OwnNodeId();
  speaker.room = g_roomList->FindByName(form.FindField("RoomName"));
  if (speaker.room) {
    speaker.session = speaker.room->Members().FindBySessionAndNode(sessionId, nodeId);
  } else if ((speaker.session = g_roomList->CRoomSessionListFindUserSession(sessionId, nodeId))) {
    speaker.room = g_roomList->FindByName(speaker.session->RoomName());
  }
  if (!speaker.session && g_onlineList) {
    speaker.session = g_onlineList->FindBySessionAndNode(sessionId, nodeId);
    speaker.room = nullptr;
    speaker.inNoRoom = speaker.session != nullptr;
  }
  return speaker;
}
