#include "nodelink/node_transport.h"

#include "platform/thread.h"

CNodeTransport::CNodeTransport(CNodeLink& link, ClusterSettings settings, NodeTransportHooks hooks)
    : m_context(link, std::move(settings), std::move(hooks)),
      m_writer(m_context),
      m_reader(m_context),
      m_answerer(m_context) {}

CNodeTransport::~CNodeTransport() { Stop(); }

void CNodeTransport::Start() {
  m_context.link.SetCarried(true);
  m_context.link.Outbox().SetLimit(m_context.settings.outboxLimit);
  m_writerThread = platform::StartThread("NodeLinkOut", [this] { m_writer.Run(); });
  m_readerThread = platform::StartThread("NodeLinkIn", [this] { m_reader.Run(); });
  m_answererThread = platform::StartThread("NodeLinkAnswer", [this] { m_answerer.Run(); });
}

void CNodeTransport::Stop() {
  m_context.stopped.Set();
  m_context.link.Outbox().Wake();
  for (std::thread* thread : {&m_readerThread, &m_answererThread, &m_writerThread}) {
    if (thread->joinable()) thread->join();
  }
}
