// The stream list (guarded by tolJavaList) and the stream writer: one thread
// that waits on every stream at once and wakes only when a stream has output
// its socket did not take, when a browser goes away, or when the server
// stops. Idle streams cost nothing.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <thread>

#include "streams/java_client_connection.h"

class CStreamList {
 public:
  CStreamList();
  ~CStreamList();
  CStreamList(const CStreamList&) = delete;
  CStreamList& operator=(const CStreamList&) = delete;

  // Takes over a handed-off socket: a new stream at the head of the list.
  void HandOff(sock_t socket, const std::string& session);
  // Runs the step for every stream, newest first, under tolJavaList.
  void ForEach(const std::function<void(CJavaClientConnection&)>& step);
  size_t Count();

  // The writer thread; runs until the stop event.
  void StartWriter();
  void StopWriter();
  // Destroys every stream (closing its socket).
  void Clear();

 private:
  void WriterLoop();
  void Remove(CJavaClientConnection* stream);
  void SetInterest(CJavaClientConnection* stream, bool write);

  std::list<StreamPtr> m_streams;  // head first
  int m_epoll;
  std::thread m_writer;
};

extern std::unique_ptr<CStreamList> g_streamList;
