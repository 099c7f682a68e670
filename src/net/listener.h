// CListener: a listening socket watched by one loop. Each readable turn
// accepts what is waiting (a bounded batch, so one loop cannot starve its
// own connections) and hands every new socket to the loop. When the process
// runs out of descriptors, the listener asks for room (a connection of the
// loop closed) and accepts again; when none is made, accepting pauses for a
// moment instead of spinning.
#pragma once

#include <functional>
#include <string>

#include "net/event_loop.h"
#include "net/pollable.h"
#include "platform/unique_fd.h"

namespace net {

class CListener final : public CPollable {
 public:
  // Called on the loop's thread for each accepted socket.
  using AcceptHandler = std::function<void(platform::CUniqueFd socket, std::string peerAddress)>;
  // Called on the loop's thread when accepting failed for want of
  // descriptors; true when one was freed.
  using RoomMaker = std::function<bool()>;

  CListener(CEventLoop& loop, platform::CUniqueFd socket, AcceptHandler onAccept, RoomMaker makeRoom = {});
  ~CListener() override;
  CListener(const CListener&) = delete;
  CListener& operator=(const CListener&) = delete;

  // Starts watching (on the loop's thread).
  void Start();
  void OnEvents(std::uint32_t events) override;

 private:
  void Pause();

  CEventLoop& m_loop;
  platform::CUniqueFd m_socket;
  AcceptHandler m_onAccept;
  RoomMaker m_makeRoom;
  bool m_watching = false;
};

}  // namespace net
