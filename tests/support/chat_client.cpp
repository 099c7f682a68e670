#include "support/chat_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "support/http_client.h"
#include "support/site_files.h"

ChatUser::ChatUser(ServerProcess& server, const std::string& name, const std::string& headers)
    : m_server(server), m_name(name), m_headers(headers) {
  HttpPost(server.HttpPort(), "/register", "username=" + UrlEncode(name) + "&password=pw", m_headers);
  const std::string frameset =
      HttpPost(server.HttpPort(), "/logon", "username=" + UrlEncode(name) + "&password=pw", m_headers);
  std::smatch match;
  if (std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)"))) m_session = match[1].str();
}

ChatUser::ChatUser(ServerProcess& server, const std::string& name, LoggedOnAs logon)
    : m_server(server), m_name(name), m_session(std::move(logon.session)) {}

ChatUser::~ChatUser() {
  if (m_stream >= 0) ::close(m_stream);
}

std::string ChatUser::Join(const std::string& room) {
  m_room = room;
  return Get("/Blank?session=" + m_session + "&message=/join%20" + UrlEncode(room));
}

std::string ChatUser::OpenStream(const std::string& room) {
  if (m_stream >= 0) ::close(m_stream);
  m_stream = ConnectLoopback(m_server.HttpPort());
  SendAll(m_stream, "GET /messages?session=" + m_session + "&RoomName=" + UrlEncode(room) +
                        " HTTP/1.0\r\nHost: t\r\n" + m_headers + "\r\n");
  std::string head = ReadUntilContains(m_stream, "<br>", std::chrono::milliseconds(2000));
  return head + Drain(100);
}

std::string ChatUser::WaitFor(const std::string& text, int milliseconds) {
  return ReadUntilContains(m_stream, text, std::chrono::milliseconds(milliseconds));
}

std::string ChatUser::Drain(int milliseconds) { return WaitFor(std::string(1, '\0'), milliseconds); }

ChatUser::StreamEnd ChatUser::ReadUntilClose(int milliseconds) {
  StreamEnd end;
  end.text = ::ReadUntilClose(m_stream, std::chrono::milliseconds(milliseconds));
  end.closed = WaitForClose(m_stream, std::chrono::milliseconds(10));
  return end;
}

std::string ChatUser::Say(const std::string& message, const std::map<std::string, std::string>& fields) {
  std::map<std::string, std::string> form = {{"session", m_session}, {"message", message},   {"towho", "大家"},
                                             {"addsays", "说"},       {"UserAction", ""},     {"addwordcolor", "ff0000"},
                                             {"RoomName", m_room},   {"UserName", m_name}};
  for (const auto& [key, value] : fields) form[key] = value;
  std::string body;
  for (const auto& [key, value] : form) body += (body.empty() ? "" : "&") + key + "=" + UrlEncode(value);
  return HttpPost(m_server.HttpPort(), "/mainform", body, m_headers);
}

std::string ChatUser::Get(const std::string& target) { return HttpGet(m_server.HttpPort(), target, m_headers); }

std::unique_ptr<ChatUser> UserInRoom(ServerProcess& server, const std::string& name, const std::string& room) {
  auto user = std::make_unique<ChatUser>(server, name);
  EXPECT_TRUE(user->LoggedOn()) << "no logon for " << name;
  user->Join(room);
  user->OpenStream(room);
  return user;
}
