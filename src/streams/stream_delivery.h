// The four delivery operations: each line goes to the streams of the users
// who must see it and, with the node link on, out as a node record.
#pragma once

#include "chat/delivery.h"

class CStreamDelivery : public CDelivery {
 public:
  int PostRoomMessage(const std::string& senderNode, const std::string& addressee, int localOnly,
                      const std::string& room, int kind, const std::string& colour, const std::string& sender,
                      const std::string& line) override;
  int PostRoomNotice(int localOnly, const std::string& room, int kind, const std::string& colour,
                     const std::string& sender, const std::string& text, const std::string& session) override;
  int PostPrivateMessage(const std::string& senderNode, const std::string& addresseeNode,
                         const std::string& addresseeSession, const std::string& room, int kind,
                         const std::string& colour, const std::string& sender, const std::string& line,
                         const std::string& addressee, int localMode) override;
  int PostUserMessage(const std::string& node, const std::string& session, const std::string& room, int kind,
                      const std::string& colour, const std::string& sender, const std::string& text,
                      const std::string& addressee, int localMode) override;
  void ShowHelp(int mode, const std::string& room, const std::string& session, const std::string& topic) override;
};

// The keep-alive of the housekeeping round: three blanks into every stream.
void SendKeepAliveToAllStreams();
