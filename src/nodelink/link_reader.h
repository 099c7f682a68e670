// CLinkReader: the transport's receiving thread. It reads the event stream
// from the last id it has seen and hands every entry on: answers to the
// resend list, goodbyes and node states to the liveness and the chat, other
// records to the chat. When it connects it reads the whole state first
// (at start, after Redis lost its data, or when records were trimmed away
// before it read them); otherwise it resumes where it stopped.
#pragma once

#include <string>

#include "nodelink/link_context.h"
#include "nodelink/redis_connection.h"
#include "nodelink/stream_entry.h"

class CLinkReader {
 public:
  explicit CLinkReader(LinkContext& context);
  void Run();

 private:
  bool Connect();
  // Reads the state (false when the connection failed).
  bool ReadState();
  bool ReadNodeState(const std::string& node);
  bool ReadOnce();
  // The figures of an entry read: how many, when, how old it was.
  void NoteRead(const StreamEntry& entry);
  void Handle(const StreamEntry& entry);
  void TakeAnswer(const StreamEntry& entry);

  LinkContext& m_context;
  CRedisConnection m_redis;
  CBackoff m_backoff;
  std::string m_lastId;  // "" until the state was read once
  std::string m_epoch;
};
