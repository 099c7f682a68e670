// The [cluster] section: where Redis is and how the node link over it
// behaves (docs/cluster.md). Read once when the server is made.
#pragma once

#include <cstddef>
#include <string>

struct ClusterSettings {
  std::string redis;                    // "host:port" or a Unix socket path; "" = no transport
  std::string prefix = "tolvan:";       // in front of every key
  std::string eventsStream = "events";
  std::string requestsStream = "requests";
  std::string requestGroup = "answerers";
  size_t streamLength = 100000;         // entries kept in each stream (about)
  size_t outboxLimit = 20000;           // records that wait while Redis is away
  int heartbeatMs = 1000;
  int nodeTimeoutMs = 5000;             // a heartbeat older than this: the node is dead
  int claimIdleMs = 5000;               // a request taken this long ago and not answered is claimed
  int answerTtl = 120;                  // seconds an answer is kept
  int blockMs = 1000;                   // longest wait of a blocking read
  int reconnectMaxMs = 5000;            // the longest pause between two attempts to connect
};

// From the loaded settings, with the defaults for what is missing or 0.
ClusterSettings ReadClusterSettings();
