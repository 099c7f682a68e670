#include "streams/stream_list.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/process_mutexes.h"
#include "platform/stop_event.h"
#include "platform/thread.h"

std::unique_ptr<CStreamList> g_streamList;

namespace {
platform::CNamedMutex& JavaList() { return platform::GetProcessMutex(platform::ProcessMutex::kJavaList); }
constexpr int kReadEvents = EPOLLIN | EPOLLRDHUP;
}  // namespace

CStreamList::CStreamList() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {}

CStreamList::~CStreamList() {
  StopWriter();
  Clear();
  if (m_epoll >= 0) ::close(m_epoll);
}

void CStreamList::HandOff(sock_t socket, const std::string& session) {
  StreamPtr stream;
  try {
    stream = std::make_shared<CJavaClientConnection>(std::move(socket), session);
  } catch (...) {
    platform::ConsoleWrite("Can't new CJavaClientConnection from ~\n");
    return;
  }
  CJavaClientConnection* raw = stream.get();
  stream->SetWriteInterest([this, raw](bool write) { SetInterest(raw, write); });
  platform::CMutexGuard guard(JavaList());
  if (!guard) return;  // the stream goes, closing its socket
  epoll_event event{};
  event.events = kReadEvents;
  event.data.ptr = raw;
  if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, raw->Fd(), &event) != 0) {
    platform::ConsoleWrite("Can't CreateThread for new javaClient in from ~client\n");
    return;
  }
  m_streams.push_front(std::move(stream));
}

void CStreamList::SetInterest(CJavaClientConnection* stream, bool write) {
  epoll_event event{};
  event.events = kReadEvents | (write ? static_cast<int>(EPOLLOUT) : 0);
  event.data.ptr = stream;
  ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, stream->Fd(), &event);
}

void CStreamList::ForEach(const std::function<void(CJavaClientConnection&)>& step) {
  platform::CMutexGuard guard(JavaList());
  if (!guard) return;
  for (const StreamPtr& stream : m_streams) step(*stream);
}

size_t CStreamList::Count() {
  platform::CMutexGuard guard(JavaList());
  return guard ? m_streams.size() : 0;
}

void CStreamList::Remove(CJavaClientConnection* stream) {
  StreamPtr removed;
  {
    platform::CMutexGuard guard(JavaList());
    if (!guard) return;
    for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
      if (it->get() == stream) {
        removed = std::move(*it);
        m_streams.erase(it);
        break;
      }
    }
  }
  if (!removed) return;
  ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, removed->Fd(), nullptr);
  removed->Close();
}

void CStreamList::StartWriter() {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.ptr = nullptr;  // the stop event
  ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, g_stopEvent->PollFd(), &event);
  m_writer = platform::StartThread("SendToClientThread", [this] { WriterLoop(); });
}

void CStreamList::StopWriter() {
  if (m_writer.joinable()) m_writer.join();
}

void CStreamList::WriterLoop() {
  epoll_event events[256];
  while (!StopRequested()) {
    const int ready = ::epoll_wait(m_epoll, events, 256, 1000);
    for (int i = 0; i < ready; ++i) {
      auto* stream = static_cast<CJavaClientConnection*>(events[i].data.ptr);
      if (stream == nullptr) continue;  // stopping: the loop test ends it
      try {
        bool gone = (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
        if (!gone && (events[i].events & EPOLLIN)) {
          char discard[512];  // a browser sends nothing more; anything it does is dropped
          gone = ::recv(stream->Fd(), discard, sizeof discard, MSG_DONTWAIT) == 0;
        }
        if (!gone && (events[i].events & EPOLLOUT)) gone = !stream->WriteData();
        if (gone || stream->Closing()) Remove(stream);
      } catch (...) {
        platform::ConsoleWrite("catch in SendToClientThread\n");
      }
    }
  }
}

void CStreamList::Clear() {
  std::list<StreamPtr> streams;
  {
    platform::CMutexGuard guard(JavaList());
    if (!guard) return;
    streams.swap(m_streams);
  }
  for (const StreamPtr& stream : streams) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, stream->Fd(), nullptr);
    stream->Close();
  }
}
