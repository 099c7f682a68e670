#include "nodelink/link_writer.h"

#include <algorithm>
#include <cstdlib>

#include "nodelink/redis_scripts.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

constexpr size_t kBatch = 256;           // records published in one pipeline
constexpr int kResendAge = 5;            // seconds before an unanswered request goes again
constexpr int kDefaultWaitMs = 1000;

void AppendChanges(RedisArgs& args, const StateOps& changes) {
  args.push_back(std::to_string(changes.size()));
  for (const StateOp& change : changes) {
    args.push_back(change.value ? "H" : "D");
    args.push_back(StateKey(change.owner, change.hash));
    args.push_back(change.field);
    args.push_back(change.value.value_or(""));
  }
}

}  // namespace

CLinkWriter::CLinkWriter(LinkContext& context)
    : m_context(context),
      m_redis(context.settings.redis, context.ReplyTimeoutMs()),
      m_backoff(context.settings.reconnectMaxMs) {}

void CLinkWriter::Run() {
  CNodeOutbox& outbox = m_context.link.Outbox();
  auto publish = [&] {
    ReportDrops();
    if (!PublishWaiting()) return;
    if (platform::MonotonicMs() >= m_nextHeartbeatMs && !Heartbeat()) return;
    m_context.link.ResendList().CMessageListReSend(kResendAge, outbox);
    const std::int64_t untilBeat = m_nextHeartbeatMs - platform::MonotonicMs();
    outbox.WaitForRecords(static_cast<int>(std::clamp<std::int64_t>(untilBeat, 1, kDefaultWaitMs)));
  };
  RunUntilStopped(m_context, m_redis, m_backoff, "NodeLinkOut", m_context.figures.writerConnected,
                  [this] { return Connect(); }, publish);
  if (m_redis.Connected() && PublishWaiting()) Bury(m_context.Self(), -1);
}

bool CLinkWriter::Connect() {
  if (!m_redis.Connect() || !SayHello()) {
    ReportLost();
    return false;
  }
  m_backoff.Reset();
  m_context.liveness.Restart();
  m_context.link.SetUp(true);
  if (m_down) platform::ConsolePrintf("node link: connected to Redis %s\n", m_redis.Address().c_str());
  m_down = false;
  m_toldDown = false;
  return true;
}

void CLinkWriter::ReportLost() {
  m_down = true;
  // Lines that wait for their place would wait for Redis: their node shows
  // them at once instead.
  m_context.link.SetUp(false);
  if (m_context.hooks.linkDown) m_context.hooks.linkDown();
  if (m_toldDown) return;
  m_toldDown = true;
  platform::ConsolePrintf("node link: Redis %s unreachable (%s); local users go on, trying again\n",
                          m_redis.Address().c_str(), m_redis.LastError().c_str());
}

bool CLinkWriter::SayHello() {
  const ClusterSettings& settings = m_context.settings;
  const OwnState own = m_context.hooks.ownState ? m_context.hooks.ownState() : OwnState();
  RedisArgs args = {settings.prefix,
                    m_context.Self(),
                    m_context.run,
                    m_epoch,
                    RandomId(),
                    settings.eventsStream,
                    std::to_string(settings.streamLength),
                    BuildNodeRecord(RecordLayout::kNodeState, {{"ND", m_context.Self()}})};
  AppendChanges(args, own.owned);
  AppendChanges(args, own.shared);
  const std::optional<RedisValue> epoch = m_redis.Script(redis_scripts::kHello, args);
  if (!epoch || epoch->IsError()) {
    if (epoch) platform::ConsolePrintf("node link: hello refused: %s\n", epoch->text.c_str());
    m_redis.Close();
    return false;
  }
  if (!m_epoch.empty() && epoch->text != m_epoch) {
    platform::ConsoleWrite("node link: Redis lost its data; this node's users and rooms written again\n");
  }
  m_epoch = epoch->text;
  m_nextHeartbeatMs = platform::MonotonicMs() + m_context.settings.heartbeatMs;
  return true;
}

void CLinkWriter::ReportDrops() {
  const std::uint64_t dropped = m_context.link.Outbox().TakeDroppedCount();
  if (dropped != 0) {
    platform::ConsolePrintf("node link: %llu records dropped while Redis was away\n",
                            static_cast<unsigned long long>(dropped));
  }
}

bool CLinkWriter::StillAwaited(const std::string& record) {
  const std::optional<ParsedRecord> parsed = ParseNodeRecord(record);
  return parsed && m_context.link.ResendList().FindBySerial(std::atoi(parsed->Get("SN").c_str())).has_value();
}

RedisArgs CLinkWriter::PublishArgs(const OutboxEntry& entry) const {
  const ClusterSettings& settings = m_context.settings;
  const bool request = IsRequestType(RecordType(entry.record));
  if (entry.order) {
    return ScriptArgs(redis_scripts::kPublishLine,
                      {settings.prefix, settings.eventsStream, std::to_string(settings.streamLength), m_context.Self(),
                       m_context.run, entry.record, entry.order->room, std::to_string(entry.order->key)});
  }
  // A record that changes no state (a line, a request) needs no script.
  if (request || entry.state.empty()) {
    return {"XADD", settings.prefix + (request ? settings.requestsStream : settings.eventsStream), "MAXLEN", "~",
            std::to_string(settings.streamLength), "*", "n", m_context.Self(), "i", m_context.run, "r", entry.record};
  }
  RedisArgs args = {settings.prefix, settings.eventsStream, std::to_string(settings.streamLength),
                    m_context.Self(), m_context.run, entry.record};
  AppendChanges(args, entry.state);
  return ScriptArgs(redis_scripts::kPublish, args);
}

bool CLinkWriter::PublishWaiting() {
  CNodeOutbox& outbox = m_context.link.Outbox();
  for (std::vector<OutboxEntry> batch = outbox.Take(kBatch); !batch.empty(); batch = outbox.Take(kBatch)) {
    std::erase_if(batch, [this](const OutboxEntry& entry) {
      return IsRequestType(RecordType(entry.record)) && !StillAwaited(entry.record);
    });
    for (const OutboxEntry& entry : batch) m_redis.Queue(PublishArgs(entry));
    for (size_t index = 0; index < batch.size(); ++index) {
      const std::optional<RedisValue> reply = m_redis.NextReply();
      if (!reply) {
        // Whether Redis took the rest is unknown: they go again (a line may show twice).
        outbox.PutBack(std::vector<OutboxEntry>(std::make_move_iterator(batch.begin() + static_cast<long>(index)),
                                                std::make_move_iterator(batch.end())));
        ReportLost();
        return false;
      }
      if (reply->IsError()) platform::ConsolePrintf("node link: a record was refused: %s\n", reply->text.c_str());
    }
  }
  return true;
}

bool CLinkWriter::Heartbeat() {
  const ClusterSettings& settings = m_context.settings;
  m_nextHeartbeatMs = platform::MonotonicMs() + settings.heartbeatMs;
  const std::optional<RedisValue> beat = m_redis.Script(redis_scripts::kHeartbeat, {settings.prefix, m_context.Self()});
  if (!beat) {
    ReportLost();
    return false;
  }
  if (beat->IsError() || beat->elements.size() < 3) return true;
  // Missing from the list: another node buried this one while it was away.
  if (beat->elements[0].integer == 1 && !SayHello()) return false;
  const long long now = std::atoll(beat->elements[1].AsText().c_str());
  std::vector<std::string> listed;
  for (const auto& [node, seen] : beat->elements[2].AsPairs()) {
    if (node == m_context.Self()) continue;
    listed.push_back(node);
    if (now - std::atoll(seen.c_str()) > settings.nodeTimeoutMs) Bury(node, settings.nodeTimeoutMs);
  }
  for (const std::string& node : m_context.liveness.Listed(listed)) {
    m_context.DropNode(node, "is no longer listed in Redis");
  }
  return true;
}

void CLinkWriter::Bury(const std::string& node, int oldestMs) {
  const ClusterSettings& settings = m_context.settings;
  const std::optional<RedisValue> buried =
      m_redis.Script(redis_scripts::kBury, {settings.prefix, node, std::to_string(oldestMs), settings.eventsStream,
                                            std::to_string(settings.streamLength), m_context.Self(), m_context.run,
                                            BuildNodeRecord(RecordLayout::kGoodbye, {{"ND", node}})});
  // This node skips its own entries: it applies the goodbye it wrote here.
  if (buried && buried->integer == 1 && node != m_context.Self()) m_context.DropNode(node, "stopped answering");
}

