// How lines reach users, and the end of a user's streams, as the chat core
// sees them. The layer of message streams implements it; the chat core only
// holds this interface, so rooms never depend on streams.
#pragma once

#include <cstdint>
#include <string>

#include "chat/chat_event.h"

class CDelivery {
 public:
  virtual ~CDelivery() = default;
  // Says the line: to the streams here that may see it, and as a node
  // record when it reaches other nodes. False when it is refused (no
  // colour, sender or text; a private line without its addressee).
  virtual bool Deliver(const ChatEvent& event) = 0;
  // Ends a stream of this node: the lines already said to it go out first,
  // then the last line (a system line; none when empty), then it closes (a
  // client that reads nothing is not waited for long).
  virtual void EndStream(std::uint64_t stream, const std::string& lastLine) = 0;
  // The session (of this node) moved to another room: its streams that
  // follow one room start over there.
  virtual void SessionMoved(const std::string& session) = 0;

  // ---- In a cluster, a room line this node said waits for its place in the
  // room's order until the node link reads it back.
  // It came back (key: what it was written with; the cluster's epoch and
  // the room's offset): it is shown here now.
  virtual void PlaceOwnLine(std::uint64_t key, const std::string& clusterEpoch, std::uint64_t offset) = 0;
  // Lines that waited longer than that (0: all of them) are shown at once,
  // placed here (Redis went away, or the line was never read back).
  virtual void ReleaseWaitingLines(int olderThanMs) = 0;
};
