// The four ways text reaches users, and the end of a user's message frame,
// as the chat core sees them. The layer of message streams implements them;
// the chat core only holds this interface, so rooms never depend on streams.
#pragma once

#include <cstdint>
#include <string>

// Message kinds.
enum MessageKind : int {
  kChatLine = 3,
  kPrivateLine = 4,
  kSystemLine = 6,
  kNotice = 8,
  kPage = 14,
  kRefusal = 21,
};

// How PostPrivateMessage and PostUserMessage deliver.
enum LocalMode : int { kRecordOnly = 0, kToSession = 1, kToManagers = 3 };

inline constexpr size_t kLineLimit = 1999;  // bytes of a line that are delivered

class CDelivery {
 public:
  virtual ~CDelivery() = default;
  // To every approved member of the room. 1 when taken, 0 when refused.
  virtual int PostRoomMessage(const std::string& senderNode, const std::string& addressee, int localOnly,
                              const std::string& room, int kind, const std::string& colour, const std::string& sender,
                              const std::string& line) = 0;
  virtual int PostRoomNotice(int localOnly, const std::string& room, int kind, const std::string& colour,
                             const std::string& sender, const std::string& text, const std::string& session) = 0;
  // To one session.
  virtual int PostPrivateMessage(const std::string& senderNode, const std::string& addresseeNode,
                                 const std::string& addresseeSession, const std::string& room, int kind,
                                 const std::string& colour, const std::string& sender, const std::string& line,
                                 const std::string& addressee, int localMode) = 0;
  // To one session (mode 1) or to the room's managers (mode 3).
  virtual int PostUserMessage(const std::string& node, const std::string& session, const std::string& room, int kind,
                              const std::string& colour, const std::string& sender, const std::string& text,
                              const std::string& addressee, int localMode) = 0;
  // Ends a message frame of this node: the lines already said to it go out
  // first, then the last line (a system line; none when empty), then it
  // closes (a browser that reads nothing is not waited for long).
  virtual void EndStream(std::uint64_t stream, const std::string& lastLine) = 0;
};
