#include "nodelink/link_context.h"

#include <algorithm>
#include <cstdio>
#include <random>


LinkContext::LinkContext(CNodeLink& nodeLink, ClusterSettings clusterSettings, NodeTransportHooks transportHooks)
    : link(nodeLink),
      settings(std::move(clusterSettings)),
      hooks(std::move(transportHooks)),
      run(RandomId()),
      liveness(settings.nodeTimeoutMs + settings.reconnectMaxMs + settings.heartbeatMs) {}

void LinkContext::DropNode(const std::string& node, const char* why) {
  liveness.Forget(node);
  platform::ConsolePrintf("node link: node %s %s; its users leave\n", node.c_str(), why);
  if (hooks.dropNode) hooks.dropNode(node);
}

int CBackoff::Next() {
  const int pause = m_nextMs;
  m_nextMs = std::min(m_nextMs * 2, m_capMs);
  return pause;
}

std::string RandomId() {
  std::random_device source;
  const unsigned long long value = (static_cast<unsigned long long>(source()) << 32) | source();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", value);
  return text;
}
