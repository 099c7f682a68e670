#include "streams/event_format.h"

#include <charconv>

#include "foundation/gbk_utf8.h"
#include "foundation/json.h"
#include "html/escape.h"
#include "html/message_render.h"

namespace {

constexpr size_t kEpochLimit = 64;  // bytes of an epoch a client may send back

const char* KindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::kChatLine: return "chat";
    case MessageKind::kPrivateLine: return "private";
    case MessageKind::kSystemLine: return "system";
    case MessageKind::kNotice: return "notice";
    case MessageKind::kPage: return "page";
    case MessageKind::kRefusal: return "refusal";
  }
  return "system";
}

// What a client shows of a piece of the line: UTF-8, without markup.
std::string Plain(const std::string& gbk) { return PlainTextOf(Utf8FromGbk(gbk)); }

std::string Event(const char* name, const std::string& data) {
  return std::string("event: ") + name + "\ndata: " + data + "\n\n";
}

}  // namespace

std::string EventLineBytes(const ChatEvent& event, const std::string& epoch, LinePlace place) {
  // A notice names its sender as name ":" node.
  std::string from = event.sender;
  std::string fromNode = event.senderNode;
  if (event.kind == MessageKind::kNotice && event.audience == Audience::kRoom && fromNode.empty()) {
    const size_t colon = from.find(':');
    if (colon != std::string::npos) {
      fromNode = from.substr(colon + 1);
      from.resize(colon);
    }
  }
  CJsonWriter json;
  json.BeginObject()
      .Key("room").String(Utf8FromGbk(event.room))
      .Key("epoch").String(epoch)
      .Key("offset").Number(static_cast<long long>(place.offset));
  if (place.sub != 0) json.Key("sub").Number(static_cast<long long>(place.sub));
  json.Key("kind").String(KindName(event.kind))
      .Key("time").Number(static_cast<long long>(event.time))
      .Key("from").String(Plain(from))
      .Key("fromNode").String(Utf8FromGbk(fromNode))
      .Key("to").String(Plain(event.addressee))
      .Key("private").Bool(event.isPrivate)
      .Key("action").String(Plain(event.action))
      .Key("says").String(Plain(event.says))
      .Key("colour").String(ShownColour(event.colour))
      .Key("text").String(Plain(event.text));
  if (!event.actions.empty()) {
    json.Key("actions").BeginArray();
    for (const CommandAction& action : event.actions) {
      json.BeginObject().Key("label").String(Utf8FromGbk(action.label)).Key("command").String(Utf8FromGbk(action.command));
      json.EndObject();
    }
    json.EndArray();
  }
  json.EndObject();
  std::string id = epoch + "-" + std::to_string(place.offset);
  if (place.sub != 0) id += "." + std::to_string(place.sub);
  return "id: " + id + "\n" + Event("line", json.Text());
}

std::string EventResetBytes(const std::string& room, const std::string& epoch, std::uint64_t offset,
                            bool continues) {
  CJsonWriter json;
  json.BeginObject()
      .Key("room").String(Utf8FromGbk(room))
      .Key("epoch").String(epoch)
      .Key("offset").Number(static_cast<long long>(offset));
  if (continues) json.Key("continues").Bool(true);
  json.EndObject();
  return Event("reset", json.Text());
}

std::string EventByeBytes(const std::string& reason) {
  CJsonWriter json;
  json.BeginObject().Key("reason").String(Plain(reason)).EndObject();
  return Event("bye", json.Text());
}

std::optional<LinePosition> ParseEventId(const std::string& id) {
  const size_t dash = id.rfind('-');
  if (dash == std::string::npos || dash == 0 || dash > kEpochLimit) return std::nullopt;
  LinePlace place;
  const char* last = id.data() + id.size();
  const char* first = id.data() + dash + 1;
  std::from_chars_result read = std::from_chars(first, last, place.offset);
  if (read.ec != std::errc() || read.ptr == first) return std::nullopt;
  const char* end = read.ptr;
  if (end != last && *end == '.') {
    read = std::from_chars(end + 1, last, place.sub);
    if (read.ec != std::errc() || read.ptr == end + 1) return std::nullopt;
    end = read.ptr;
  }
  if (end != last) return std::nullopt;
  return LinePosition{id.substr(0, dash), place};
}
