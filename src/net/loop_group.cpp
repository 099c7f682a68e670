#include "net/loop_group.h"

#include "platform/thread.h"

namespace net {

CLoopGroup::CLoopGroup(int count) {
  if (count < 1) count = 1;
  for (int i = 0; i < count; ++i) m_loops.push_back(std::make_unique<CEventLoop>(i));
}

CLoopGroup::~CLoopGroup() { Stop(); }

void CLoopGroup::Start(int stopFd) {
  for (auto& loop : m_loops) {
    CEventLoop* raw = loop.get();
    m_threads.push_back(platform::StartThread("the event loop", [raw, stopFd] { raw->Run(stopFd); }));
  }
}

void CLoopGroup::Stop() {
  for (auto& loop : m_loops) loop->Quit();
  for (std::thread& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
  m_threads.clear();
}

}  // namespace net
