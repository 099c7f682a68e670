// CNodeTransport: the node link over Redis (docs/cluster.md). Three threads,
// each with its own connection: the writer drains the outbox, the reader
// follows the event stream, the answerer serves the request stream. Made
// per pass when the link is on and [cluster] names a Redis; the outbox and
// its serial counter outlive it.
#pragma once

#include <memory>
#include <thread>

#include "nodelink/cluster_settings.h"
#include "nodelink/link_context.h"
#include "nodelink/link_answerer.h"
#include "nodelink/link_reader.h"
#include "nodelink/link_writer.h"

class CNodeTransport {
 public:
  CNodeTransport(CNodeLink& link, ClusterSettings settings, NodeTransportHooks hooks);
  ~CNodeTransport();
  CNodeTransport(const CNodeTransport&) = delete;
  CNodeTransport& operator=(const CNodeTransport&) = delete;

  void Start();
  // Ends the threads: what waits is published and the goodbye said when
  // Redis is there. Called again, it does nothing.
  void Stop();

  const LinkFigures& Figures() const { return m_context.figures; }

 private:
  LinkContext m_context;
  CLinkWriter m_writer;
  CLinkReader m_reader;
  CLinkAnswerer m_answerer;
  std::thread m_writerThread;
  std::thread m_readerThread;
  std::thread m_answererThread;
};
