#include "nodelink/link_reader.h"

#include <algorithm>
#include <cstdlib>

#include "nodelink/redis_scripts.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

constexpr int kReadCount = 512;

// The hashes of a state reply ({key, pairs}...) sorted into the snapshot.
void AddHashes(const RedisValue& list, ClusterSnapshot& snapshot) {
  for (size_t index = 0; index + 1 < list.elements.size(); index += 2) {
    std::string owner;
    std::string hash;
    if (!ParseStateKey(list.elements[index].AsText(), owner, hash)) continue;
    StateHash& contents = owner.empty() ? snapshot.shared[hash] : snapshot.nodes[owner][hash];
    for (auto& [field, value] : list.elements[index + 1].AsPairs()) contents[field] = value;
  }
}

}  // namespace

CLinkReader::CLinkReader(LinkContext& context)
    : m_context(context),
      m_redis(context.settings.redis, context.ReplyTimeoutMs()),
      m_backoff(context.settings.reconnectMaxMs) {}

void CLinkReader::Run() {
  RunUntilStopped(m_context, m_redis, m_backoff, "NodeLinkIn", m_context.figures.readerConnected,
                  [this] { return Connect(); }, [this] { ReadOnce(); });
}

bool CLinkReader::Connect() {
  if (!m_redis.Connect()) return false;
  m_backoff.Reset();
  if (m_lastId.empty()) return ReadState();
  const ClusterSettings& settings = m_context.settings;
  const std::optional<RedisValue> check =
      m_redis.Script(redis_scripts::kResumeCheck, {settings.prefix, settings.eventsStream});
  if (!check || check->elements.size() < 2) return false;
  const std::string deleted = check->elements[1].AsText();
  if (check->elements[0].AsText() != m_epoch) {
    m_epoch = check->elements[0].AsText();
    // What the stream holds now was all written since Redis came back: read
    // it whole (the nodes' hellos in it bring their users again), unless
    // some of it is already trimmed away.
    platform::ConsoleWrite("node link: Redis lost its data; reading what was written since\n");
    if (StreamId::Parse(deleted) < StreamId::Parse("0-1")) {
      m_lastId = "0-0";
      return true;
    }
    return ReadState();
  }
  if (StreamId::Parse(m_lastId) < StreamId::Parse(deleted)) {
    platform::ConsoleWrite("node link: records were trimmed away before this node read them; state read again\n");
    return ReadState();
  }
  return true;
}

bool CLinkReader::ReadState() {
  const ClusterSettings& settings = m_context.settings;
  const std::optional<RedisValue> state =
      m_redis.Script(redis_scripts::kSnapshot, {settings.prefix, settings.eventsStream});
  if (!state || state->IsError() || state->elements.size() < 5) {
    m_redis.Close();
    return false;
  }
  m_epoch = state->elements[0].AsText();
  m_lastId = state->elements[1].AsText();
  ClusterSnapshot snapshot;
  for (const RedisValue& node : state->elements[3].elements) snapshot.nodes[node.AsText()];
  AddHashes(state->elements[4], snapshot);
  snapshot.nodes.erase(m_context.Self());
  for (const auto& [node, hashes] : snapshot.nodes) m_context.liveness.Seen(node);
  if (m_context.hooks.applySnapshot) m_context.hooks.applySnapshot(snapshot);
  return true;
}

bool CLinkReader::ReadNodeState(const std::string& node) {
  const std::optional<RedisValue> state =
      m_redis.Script(redis_scripts::kNodeState, {m_context.settings.prefix, node});
  if (!state || state->IsError()) return false;
  ClusterSnapshot snapshot;
  snapshot.nodes[node];
  AddHashes(*state, snapshot);
  if (m_context.hooks.applySnapshot) m_context.hooks.applySnapshot(snapshot);
  return true;
}

bool CLinkReader::ReadOnce() {
  const ClusterSettings& settings = m_context.settings;
  const std::optional<RedisValue> reply =
      m_redis.Call({"XREAD", "COUNT", std::to_string(kReadCount), "BLOCK", std::to_string(settings.blockMs), "STREAMS",
                    settings.prefix + settings.eventsStream, m_lastId});
  if (!reply) return false;
  if (reply->IsError()) {
    platform::ConsolePrintf("node link: reading the events failed: %s\n", reply->text.c_str());
    m_redis.Close();
    return false;
  }
  for (const StreamEntry& entry : EntriesOfStreams(*reply)) {
    m_lastId = entry.id;
    NoteRead(entry);
    // One record that cannot be applied costs that record, not the others
    // read with it nor the connection.
    try {
      Handle(entry);
    } catch (...) {
      platform::LogException("node link: a record was skipped", "entry " + entry.id + " from node " + entry.node);
    }
  }
  return true;
}

void CLinkReader::NoteRead(const StreamEntry& entry) {
  LinkFigures& figures = m_context.figures;
  figures.recordsRead.Add();
  figures.lastReadMs.store(platform::MonotonicMs(), std::memory_order_relaxed);
  const auto written = static_cast<std::int64_t>(StreamId::Parse(entry.id).ms);
  figures.readLagMs.store(std::max<std::int64_t>(0, platform::WallClockMs() - written), std::memory_order_relaxed);
}

void CLinkReader::Handle(const StreamEntry& entry) {
  if (!entry.toNode.empty()) {
    TakeAnswer(entry);
    return;
  }
  if (entry.node == m_context.Self()) {
    // Its own room lines come back with their places; those of an earlier
    // run of this node were shown by nobody here.
    if (entry.offset != 0 && entry.run == m_context.run && m_context.hooks.placeOwnLine) {
      m_context.hooks.placeOwnLine(entry.key, LinkOrder{entry.epoch, entry.offset});
    }
    return;
  }
  m_context.liveness.Seen(entry.node);
  const std::optional<ParsedRecord> record = ParseNodeRecord(entry.record);
  if (!record) {
    platform::ConsolePrintf("node link: a record from %s cannot be read; skipped\n", entry.node.c_str());
    return;
  }
  if (entry.offset != 0 && m_context.hooks.applyLine) {
    m_context.hooks.applyLine(*record, LinkOrder{entry.epoch, entry.offset});
    return;
  }
  const std::string& about = record->Get("ND");
  if (record->type == "BYE") {
    if (about == m_context.Self()) return;
    m_context.DropNode(about, "left");
  } else if (record->type == "NS") {
    if (about != m_context.Self()) ReadNodeState(about);
  } else if (!IsRequestType(record->type) && record->type != "AN") {
    if (m_context.hooks.applyRecord) m_context.hooks.applyRecord(*record);
  }
}

void CLinkReader::TakeAnswer(const StreamEntry& entry) {
  if (entry.toNode != m_context.Self() || entry.toRun != m_context.run) return;
  const std::optional<ParsedRecord> answer = ParseNodeRecord(entry.record);
  if (!answer || answer->type != "AN") return;
  m_context.link.ResendList().SetAnswer(std::atoi(answer->Get("SN").c_str()), std::atoi(answer->Get("ST").c_str()),
                                        answer->Get("RP"));
}
