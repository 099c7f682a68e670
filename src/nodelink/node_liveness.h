// CNodeLiveness: the other nodes this node has heard of, and when each was
// last in Redis's list of live nodes. A node that has been missing from it
// longer than the limit is given up, even if its goodbye never came (this
// node was away from Redis when it went out). Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CNodeLiveness {
 public:
  explicit CNodeLiveness(int absentLimitMs) : m_absentLimitMs(absentLimitMs) {}

  // A record or the state named the node.
  void Seen(const std::string& node);
  // It said goodbye (or was buried).
  void Forget(const std::string& node);
  // This node has just come back to Redis: nobody has been missing meanwhile.
  void Restart();
  // The nodes Redis lists now; returns those missing longer than the limit,
  // which are forgotten.
  std::vector<std::string> Listed(const std::vector<std::string>& listed);

 private:
  const int m_absentLimitMs;
  std::mutex m_lock;
  std::map<std::string, std::int64_t> m_lastListed;  // node -> monotonic ms
};
