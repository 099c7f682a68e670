#include "nodelink/cluster_settings.h"

#include "foundation/settings.h"

namespace {

void ReadText(const char* key, std::string& value) {
  const std::string configured = GetSetting("cluster", key);
  if (!configured.empty()) value = configured;
}

template <class Number>
void ReadNumber(const char* key, Number& value) {
  const int configured = GetSettingInt("cluster", key);
  if (configured > 0) value = static_cast<Number>(configured);
}

}  // namespace

ClusterSettings ReadClusterSettings() {
  ClusterSettings settings;
  settings.redis = GetSetting("cluster", "redis");
  ReadText("prefix", settings.prefix);
  ReadText("events_stream", settings.eventsStream);
  ReadText("requests_stream", settings.requestsStream);
  ReadText("request_group", settings.requestGroup);
  ReadNumber("stream_length", settings.streamLength);
  ReadNumber("outbox_limit", settings.outboxLimit);
  ReadNumber("heartbeat_ms", settings.heartbeatMs);
  ReadNumber("node_timeout_ms", settings.nodeTimeoutMs);
  ReadNumber("claim_idle_ms", settings.claimIdleMs);
  ReadNumber("answer_ttl", settings.answerTtl);
  ReadNumber("block_ms", settings.blockMs);
  ReadNumber("reconnect_max_ms", settings.reconnectMaxMs);
  return settings;
}
