#include "nodelink/link_answerer.h"

#include "nodelink/redis_scripts.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {
constexpr int kReadCount = 16;
constexpr int kClaimEveryMs = 2000;
}  // namespace

CLinkAnswerer::CLinkAnswerer(LinkContext& context)
    : m_context(context),
      m_redis(context.settings.redis, context.ReplyTimeoutMs()),
      m_backoff(context.settings.reconnectMaxMs) {}

void CLinkAnswerer::Run() {
  auto serve = [this] {
    if (platform::MonotonicMs() >= m_nextClaimMs && !ClaimAbandoned()) return;
    ServeNew();
  };
  RunUntilStopped(m_context, m_redis, m_backoff, "NodeLinkAnswer", m_context.figures.answererConnected,
                  [this] { return Connect(); }, serve);
}

bool CLinkAnswerer::Failed(const std::optional<RedisValue>& reply) {
  if (!reply) return true;
  if (!reply->IsError()) return false;
  // The group is gone with Redis's data: made again on the next connection.
  if (reply->text.rfind("NOGROUP", 0) != 0) platform::ConsolePrintf("node link: requests: %s\n", reply->text.c_str());
  m_redis.Close();
  return true;
}

bool CLinkAnswerer::Connect() {
  if (!m_redis.Connect() || !MakeGroup()) return false;
  m_backoff.Reset();
  return ServeOwnPending();
}

bool CLinkAnswerer::MakeGroup() {
  const ClusterSettings& settings = m_context.settings;
  // From the stream's start: requests written before any answerer was
  // back (Redis lost its data) must still be served.
  const std::optional<RedisValue> made = m_redis.Call(
      {"XGROUP", "CREATE", settings.prefix + settings.requestsStream, settings.requestGroup, "0", "MKSTREAM"});
  return made && (!made->IsError() || made->text.rfind("BUSYGROUP", 0) == 0);
}

bool CLinkAnswerer::ServeOwnPending() {
  const ClusterSettings& settings = m_context.settings;
  for (;;) {
    const std::optional<RedisValue> reply =
        m_redis.Call({"XREADGROUP", "GROUP", settings.requestGroup, m_context.Self(), "COUNT",
                      std::to_string(kReadCount), "STREAMS", settings.prefix + settings.requestsStream, "0"});
    if (Failed(reply)) return false;
    const std::vector<StreamEntry> entries = EntriesOfStreams(*reply);
    if (entries.empty()) return true;
    if (!Serve(entries)) return false;
  }
}

bool CLinkAnswerer::ServeNew() {
  const ClusterSettings& settings = m_context.settings;
  const std::optional<RedisValue> reply =
      m_redis.Call({"XREADGROUP", "GROUP", settings.requestGroup, m_context.Self(), "COUNT",
                    std::to_string(kReadCount), "BLOCK", std::to_string(settings.blockMs), "STREAMS",
                    settings.prefix + settings.requestsStream, ">"});
  return !Failed(reply) && Serve(EntriesOfStreams(*reply));
}

bool CLinkAnswerer::ClaimAbandoned() {
  const ClusterSettings& settings = m_context.settings;
  m_nextClaimMs = platform::MonotonicMs() + kClaimEveryMs;
  const std::optional<RedisValue> reply =
      m_redis.Call({"XAUTOCLAIM", settings.prefix + settings.requestsStream, settings.requestGroup, m_context.Self(),
                    std::to_string(settings.claimIdleMs), "0-0", "COUNT", std::to_string(kReadCount)});
  if (Failed(reply)) return false;
  return reply->elements.size() < 2 || Serve(EntriesOf(reply->elements[1]));
}

bool CLinkAnswerer::Serve(const std::vector<StreamEntry>& entries) {
  for (const StreamEntry& entry : entries) {
    if (m_context.Stopping() || !Answer(entry)) return false;
  }
  return true;
}

bool CLinkAnswerer::Acknowledge(const std::string& id) {
  const ClusterSettings& settings = m_context.settings;
  return !Failed(m_redis.Call({"XACK", settings.prefix + settings.requestsStream, settings.requestGroup, id}));
}

bool CLinkAnswerer::Answer(const StreamEntry& entry) {
  const std::optional<ParsedRecord> request = ParseNodeRecord(entry.record);
  if (!request || !IsRequestType(request->type) || entry.node.empty()) {
    if (!entry.record.empty()) platform::ConsolePrintf("node link: a request from %s cannot be read\n", entry.node.c_str());
    return Acknowledge(entry.id);
  }
  const ClusterSettings& settings = m_context.settings;
  const std::string& serial = request->Get("SN");
  const std::string answerKey = "answer:" + entry.node + ":" + entry.run + ":" + serial;
  // A request answered before (resent, or claimed after a crash) gets the stored answer again.
  const std::optional<RedisValue> stored = m_redis.Call({"GET", settings.prefix + answerKey});
  if (Failed(stored)) return false;
  std::string answer = stored->AsText();
  if (stored->IsNil()) {
    if (!m_context.hooks.answerRequest) return false;
    const std::optional<RequestAnswer> worked = m_context.hooks.answerRequest(*request, *this);
    if (!worked) return false;
    answer = BuildNodeRecord(RecordLayout::kAnswer,
                             {{"ND", entry.node}, {"ST", std::to_string(worked->status)}, {"RP", worked->reply}},
                             std::atoi(serial.c_str()));
  }
  return !Failed(m_redis.Script(
      redis_scripts::kAnswer,
      {settings.prefix, answerKey, std::to_string(settings.answerTtl), answer, settings.eventsStream,
       std::to_string(settings.streamLength), m_context.Self(), m_context.run, entry.node, entry.run,
       settings.requestsStream, settings.requestGroup, entry.id}));
}
