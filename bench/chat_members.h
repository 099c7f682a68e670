// Chat members for the benchmark programs, as the browser pages make them:
// register, log on and enter a room (POST /register, POST /logon, GET
// /Blank?...&message=/join%20ROOM), open the message frame (GET /messages),
// post the chat form (POST /Blank). Everything over loopback HTTP/1.0, one
// request per connection, to the given port (the server's or a proxy's),
// from 127.0.0.1 or the source address given.
#pragma once

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace bench {

// "大家" (everybody) and "说" (says) in GB2312, URL-encoded, as the chat form sends them.
inline const std::string kEverybody = "%B4%F3%BC%D2";
inline const std::string kSays = "%CB%B5";
// Room members never idle out while a long setup runs; passwords are hashed
// at the cheapest cost (8 KiB, 1 pass), stated with every setup figure: at
// the default cost a logon is bound by its hash (the "logons" mode).
inline const std::string kLongSessions = "[network]\nsession_timeout = 86400\n";
inline const std::string kCheapHash = "[user_database]\nhash_memory_kib = 8\nhash_passes = 1\nhash_threads = 4\n";

inline std::string RoomName(int room) { return "bench" + std::to_string(room); }

// System rooms bench1..benchN, replacing the bundled rooms of the same keys.
inline std::string RoomsIni(int rooms) {
  std::string ini = kLongSessions + kCheapHash + "[rooms]\n";
  for (int room = 1; room <= rooms; ++room) ini += std::to_string(room) + " = " + RoomName(room) + "\n";
  return ini;
}

inline std::string PostRequest(const std::string& target, const std::string& body) {
  return "POST " + target + " HTTP/1.0\r\nHost: bench\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

inline std::string Post(int port, const std::string& target, const std::string& body, const std::string& source = "") {
  return Exchange(port, PostRequest(target, body), source);
}

struct Member {
  std::string name;
  std::string room;
  std::string session;  // empty when the logon failed
};

// The session a logon's answer (the frameset) names; empty when it names none.
inline std::string SessionOf(const std::string& frameset) {
  const size_t at = frameset.find("session=");
  if (at == std::string::npos) return "";
  const size_t start = at + 8;
  const size_t end = frameset.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz", start);
  return frameset.substr(start, end - start);
}

inline void Join(int port, const Member& member, const std::string& source = "") {
  Exchange(port, "GET /Blank?session=" + member.session + "&message=/join%20" + member.room +
                     " HTTP/1.0\r\nHost: bench\r\n\r\n",
           source);
}

// Registers, logs on and enters the room, as the logon page and the room list do.
inline Member Enrol(int port, const std::string& name, const std::string& room, const std::string& source = "") {
  Member member{name, room, ""};
  Post(port, "/register", "username=" + name + "&password=pw", source);
  member.session = SessionOf(Post(port, "/logon", "username=" + name + "&password=pw", source));
  if (!member.session.empty()) Join(port, member, source);
  return member;
}

// The member's message frame; with readHead, returns once the page head has come.
inline Descriptor OpenStream(int port, const Member& member, int receiveBuffer = 0, bool readHead = true,
                             const std::string& source = "") {
  Descriptor fd = ConnectLoopback(port, receiveBuffer, source);
  if (!fd.Valid()) return fd;
  SendAll(fd.Get(), "GET /messages?session=" + member.session + "&RoomName=" + member.room +
                        " HTTP/1.0\r\nHost: bench\r\n\r\n");
  if (readHead && ReadUntil(fd.Get(), "<br>", 5000).find("<br>") == std::string::npos) return Descriptor();
  return fd;
}

// The body of the chat form's POST /Blank: the member says the text to everybody.
inline std::string ChatFormBody(const Member& member, const std::string& text) {
  return "session=" + member.session + "&message=" + text + "&towho=" + kEverybody + "&addsays=" + kSays +
         "&addwordcolor=ff0000&RoomName=" + member.room;
}

// The chat form's POST; true when the server answered.
inline bool Say(int port, const Member& member, const std::string& text, const std::string& source = "") {
  return !Post(port, "/Blank", ChatFormBody(member, text), source).empty();
}

// Runs step(i) for i below count on a few client threads at once (32, or
// as many as given), as many browsers would; the first failure ends the run.
inline constexpr int kParallelClients = 32;
template <class Step>
inline void InParallel(int count, Step step, int clientCount = kParallelClients) {
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::string failure;
  std::mutex failureLock;
  std::vector<std::thread> clients;
  for (int c = 0; c < clientCount; ++c) {
    clients.emplace_back([&] {
      for (int i = next++; i < count && !failed; i = next++) {
        try {
          step(i);
        } catch (const std::exception& error) {
          std::lock_guard<std::mutex> guard(failureLock);
          failure = error.what();
          failed = true;
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  if (failed) throw std::runtime_error(failure);
}

inline std::vector<Member> EnrolMany(int port, const std::string& prefix, int count, int perRoom) {
  std::vector<Member> members(static_cast<size_t>(count));
  InParallel(count, [&](int i) {
    members[static_cast<size_t>(i)] = Enrol(port, prefix + std::to_string(i), RoomName(i / perRoom + 1));
    if (members[static_cast<size_t>(i)].session.empty()) {
      throw std::runtime_error("logon failed for " + members[static_cast<size_t>(i)].name);
    }
  });
  return members;
}

inline std::vector<Descriptor> OpenStreams(int port, const std::vector<Member>& members, const std::string& source = "") {
  std::vector<Descriptor> streams(members.size());
  InParallel(static_cast<int>(members.size()), [&](int i) {
    streams[static_cast<size_t>(i)] = OpenStream(port, members[static_cast<size_t>(i)], 0, true, source);
    if (!streams[static_cast<size_t>(i)].Valid()) {
      throw std::runtime_error("no message frame for " + members[static_cast<size_t>(i)].name);
    }
  });
  return streams;
}

}  // namespace bench
