// What the three threads of the transport over Redis share: the link of
// the pass, the settings, the hooks, this run's id, the stop flag and the
// liveness of the other nodes; and how each of them waits before trying
// Redis again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/metrics.h"
#include "nodelink/cluster_settings.h"
#include "nodelink/node_link.h"
#include "nodelink/node_liveness.h"
#include "nodelink/redis_connection.h"
#include "nodelink/transport_hooks.h"
#include "platform/console.h"
#include "platform/stop_event.h"

// How the link fares, for the metrics: set by the transport's threads, read
// by anyone.
struct LinkFigures {
  std::atomic<bool> writerConnected{false};
  std::atomic<bool> readerConnected{false};
  std::atomic<bool> answererConnected{false};
  CCounter recordsRead;                       // entries of the event stream read
  std::atomic<std::int64_t> lastReadMs{0};    // monotonic time of the last read (0: none yet)
  std::atomic<std::int64_t> readLagMs{0};     // how old that entry was then, by its id's time
};

struct LinkContext {
  LinkContext(CNodeLink& nodeLink, ClusterSettings clusterSettings, NodeTransportHooks transportHooks);

  CNodeLink& link;
  const ClusterSettings settings;
  const NodeTransportHooks hooks;
  const std::string run;  // drawn at random when the transport starts
  platform::CStopEvent stopped;  // set once, when the transport stops
  CNodeLiveness liveness;
  LinkFigures figures;

  const std::string& Self() const { return link.NodeId(); }
  bool Stopping() const { return stopped.IsSet(); }
  // Socket time-out: longer than the longest blocking read.
  int ReplyTimeoutMs() const { return settings.blockMs + 2000; }
  // Waits, or less when the transport stops; false when it is stopping.
  bool Pause(int milliseconds) const { return !stopped.Wait(milliseconds); }
  // A node that left or stopped answering: its users leave this node.
  void DropNode(const std::string& node, const char* why);
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

// The loop of each of the transport's threads: connect (pausing with
// back-off while Redis cannot be reached), then take one step at a time
// until the transport stops. An exception (the turn's last guard) is said on
// the console and closes the connection, which the next turn opens again.
// Each turn says in connected whether the thread's connection is up.
template <typename Connect, typename Step>
void RunUntilStopped(const LinkContext& context, CRedisConnection& redis, CBackoff& backoff, const char* threadName,
                     std::atomic<bool>& connected, Connect connect, Step step) {
  while (!context.Stopping()) {
    try {
      if (!redis.Connected() && !connect()) {
        connected.store(false, std::memory_order_relaxed);
        context.Pause(backoff.Next());
        continue;
      }
      connected.store(true, std::memory_order_relaxed);
      step();
    } catch (...) {
      platform::LogException(std::string("node link ") + threadName + ": turn failed, reconnecting to Redis");
      redis.Close();
    }
    connected.store(redis.Connected(), std::memory_order_relaxed);
  }
  connected.store(false, std::memory_order_relaxed);
}

// A random id of 16 hexadecimal digits.
std::string RandomId();
