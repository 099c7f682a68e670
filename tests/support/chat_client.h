// A chat user for black-box tests: registers, logs on, enters rooms, holds
// a message stream open and posts lines, over real sockets.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "support/server_process.h"

// The session of a user who logged on some other way (the JSON API).
struct LoggedOnAs {
  std::string session;
};

class ChatUser {
 public:
  // Registers the name (password "pw") and logs on. Every request of the
  // user carries the extra header lines (each ended by CR LF), as a reverse
  // proxy adds them.
  ChatUser(ServerProcess& server, const std::string& name, const std::string& headers = "");
  // A user who is logged on already: his frames and forms under that session.
  ChatUser(ServerProcess& server, const std::string& name, LoggedOnAs logon);
  ~ChatUser();
  ChatUser(const ChatUser&) = delete;
  ChatUser& operator=(const ChatUser&) = delete;

  const std::string& Session() const { return m_session; }
  const std::string& Name() const { return m_name; }
  bool LoggedOn() const { return !m_session.empty(); }

  // GET /Blank?session=..&message=/join%20ROOM; the answer (the frameset).
  std::string Join(const std::string& room);
  // Opens the message frame of the room; returns its head as far as it came.
  std::string OpenStream(const std::string& room);
  // What the stream brings until the text has arrived (or the time is up).
  std::string WaitFor(const std::string& text, int milliseconds = 3000);
  // Whatever the stream brings within the time.
  std::string Drain(int milliseconds = 300);
  // What the stream brings until the server closes it, and whether it did
  // within the time.
  struct StreamEnd {
    std::string text;
    bool closed = false;
  };
  StreamEnd ReadUntilClose(int milliseconds);

  // Posts the chat form; extra fields replace the defaults.
  std::string Say(const std::string& message, const std::map<std::string, std::string>& fields = {});
  std::string Get(const std::string& target);

 private:
  ServerProcess& m_server;
  std::string m_name;
  std::string m_headers;
  std::string m_session;
  std::string m_room;
  int m_stream = -1;
};

// A user logged on (a test failure when he is not) in the room, with his
// message frame open.
std::unique_ptr<ChatUser> UserInRoom(ServerProcess& server, const std::string& name, const std::string& room);
