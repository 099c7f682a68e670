#include "nodelink/stream_entry.h"

#include <cstdlib>

StreamId StreamId::Parse(const std::string& text) {
  StreamId id;
  char* end = nullptr;
  id.ms = std::strtoull(text.c_str(), &end, 10);
  if (end != nullptr && *end == '-') id.seq = std::strtoull(end + 1, nullptr, 10);
  return id;
}

std::vector<StreamEntry> EntriesOf(const RedisValue& list) {
  std::vector<StreamEntry> entries;
  for (const RedisValue& item : list.elements) {
    if (item.elements.empty()) continue;
    StreamEntry entry;
    entry.id = item.elements[0].AsText();
    if (item.elements.size() > 1) {
      for (const auto& [field, value] : item.elements[1].AsPairs()) {
        if (field == "n") entry.node = value;
        else if (field == "i") entry.run = value;
        else if (field == "r") entry.record = value;
        else if (field == "t") entry.toNode = value;
        else if (field == "ti") entry.toRun = value;
        else if (field == "o") entry.offset = std::strtoull(value.c_str(), nullptr, 10);
        else if (field == "e") entry.epoch = value;
        else if (field == "k") entry.key = std::strtoull(value.c_str(), nullptr, 10);
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<StreamEntry> EntriesOfStreams(const RedisValue& reply) {
  std::vector<StreamEntry> entries;
  for (const RedisValue& stream : reply.elements) {
    if (stream.elements.size() < 2) continue;
    std::vector<StreamEntry> some = EntriesOf(stream.elements[1]);
    entries.insert(entries.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
  }
  return entries;
}
