// What the three threads of the transport over Redis share: the link of
// the pass, the settings, the hooks, this run's id, the stop flag and the
// liveness of the other nodes; and how each of them waits before trying
// Redis again.
#pragma once

#include <atomic>
#include <string>

#include "nodelink/cluster_settings.h"
#include "nodelink/node_link.h"
#include "nodelink/node_liveness.h"
#include "nodelink/transport_hooks.h"

struct LinkContext {
  LinkContext(CNodeLink& nodeLink, ClusterSettings clusterSettings, NodeTransportHooks transportHooks);

  CNodeLink& link;
  const ClusterSettings settings;
  const NodeTransportHooks hooks;
  const std::string run;  // drawn at random when the transport starts
  std::atomic<bool> stopping{false};
  CNodeLiveness liveness;

  const std::string& Self() const { return link.NodeId(); }
  // Socket time-out: longer than the longest blocking read.
  int ReplyTimeoutMs() const { return settings.blockMs + 2000; }
  // Sleeps in short steps; false when the transport is stopping.
  bool Pause(int milliseconds) const;
};

// The pause between two attempts to connect: 100 ms, doubling to the cap.
class CBackoff {
 public:
  explicit CBackoff(int capMs) : m_capMs(capMs) {}
  int Next();
  void Reset() { m_nextMs = kFirstMs; }

 private:
  static constexpr int kFirstMs = 100;
  const int m_capMs;
  int m_nextMs = kFirstMs;
};

// A random id of 16 hexadecimal digits.
std::string RandomId();
