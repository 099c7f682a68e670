#include "nodelink/node_record.h"

#include <vector>

#include "foundation/text.h"

namespace {

struct Layout {
  RecordLayout layout;
  std::string_view type;
  bool numbered;  // carries SN right after CT
  std::vector<std::string_view> fields;
};

// Every record type's field order, after CT (and SN where numbered).
const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {RecordLayout::kLogon, "LG", true, {"UN", "PW", "SS", "ND", "IP"}},
      {RecordLayout::kRegister, "RG", true, {"UN", "PW", "EM", "BD", "HQ", "AN"}},
      {RecordLayout::kPasswordStep1, "CP1", true, {"UN"}},
      {RecordLayout::kPasswordStep2, "CP2", true, {"UN", "EM", "BD", "AN", "PW"}},
      {RecordLayout::kPasswordChange, "CP", true, {"UN", "PWO", "PWN"}},
      {RecordLayout::kLeave, "ET", true, {"ND", "UN", "RM", "SS", "MN"}},
      {RecordLayout::kUserListEntry, "LS", false, {"UN", "SS", "ND", "RM", "MN", "IP"}},
      {RecordLayout::kCreateRoom, "CR", true, {"ND", "SS", "RM", "TP", "OLD", "UN"}},
      {RecordLayout::kJump, "JP", true, {"NEW", "ND", "UN", "RM", "SS", "MN", "IP"}},
      {RecordLayout::kRemoveRoom, "RR", true, {"ND", "RM"}},
      {RecordLayout::kKick, "KK", true, {"UN", "RM", "PA", "MN"}},
      {RecordLayout::kBan, "BN", true, {"UN", "RM", "PA", "IP", "MN"}},
      {RecordLayout::kRoomLine, "PB", false, {"RM", "CO", "FR", "MSG", "PA", "FND"}},
      {RecordLayout::kRoomNotice, "PB", false, {"RM", "CO", "FR", "MSG", "FND"}},
      {RecordLayout::kUserLine, "PC", false, {"RM", "CO", "FR", "MSG", "TO", "SS", "ND"}},
      {RecordLayout::kPrivateLine, "PC", false, {"RM", "CO", "FR", "MSG", "TO", "SS", "ND", "FND"}},
      {RecordLayout::kSetManager, "SETM", true, {"RM", "UN"}},
      {RecordLayout::kRemoveManager, "RMA", true, {"RM", "UN"}},
      {RecordLayout::kLockRoom, "LR", true, {"RM"}},
      {RecordLayout::kUnlockRoom, "UNLR", true, {"RM"}},
      {RecordLayout::kAuthorize, "AUTH", true, {"RM", "SS", "MA", "ND"}},
      {RecordLayout::kRefuse, "REFU", true, {"RM", "SS", "MA", "ND"}},
      {RecordLayout::kAnswer, "AN", true, {"ND", "ST", "RP"}},
      {RecordLayout::kNodeState, "NS", false, {"ND"}},
      {RecordLayout::kGoodbye, "BYE", false, {"ND"}},
  };
  return layouts;
}

const Layout& Find(RecordLayout layout) {
  for (const Layout& entry : Layouts()) {
    if (entry.layout == layout) return entry;
  }
  return Layouts().front();
}

void AppendField(std::string& record, std::string_view code, std::string_view value) {
  record.append(code);
  record += kFieldStart;
  record.append(value);
  record += kFieldEnd;
}

}  // namespace

bool LayoutIsNumbered(RecordLayout layout) { return Find(layout).numbered; }
std::string_view LayoutType(RecordLayout layout) { return Find(layout).type; }
bool LayoutIsRequest(RecordLayout layout) { return IsRequestType(LayoutType(layout)); }

bool IsRequestType(std::string_view type) {
  return type == "LG" || type == "RG" || type == "CP" || type == "CP1" || type == "CP2";
}

std::string_view RecordType(std::string_view record) {
  constexpr std::string_view kTypeField = "CT\x06";
  if (record.substr(0, kTypeField.size()) != kTypeField) return {};
  record.remove_prefix(kTypeField.size());
  const size_t end = record.find(kFieldEnd);
  return end == std::string_view::npos ? std::string_view() : record.substr(0, end);
}

std::string BuildNodeRecord(RecordLayout layout, const RecordValues& values, int serial, std::string_view ctOverride) {
  const Layout& entry = Find(layout);
  std::string record;
  AppendField(record, "CT", ctOverride.empty() ? entry.type : ctOverride);
  if (entry.numbered && serial >= 0) AppendField(record, "SN", std::to_string(serial));
  for (std::string_view code : entry.fields) {
    const auto found = values.find(code);
    std::string_view value = found != values.end() ? std::string_view(found->second) : std::string_view();
    if (code == "MSG") value = CutToCharacters(value, kRecordTextLimit);
    AppendField(record, code, value);
  }
  record += "\r\n";
  return record;
}

const std::string& ParsedRecord::Get(std::string_view code) const {
  static const std::string kEmpty;
  const auto found = values.find(code);
  return found != values.end() ? found->second : kEmpty;
}

namespace {
bool IsFieldCode(std::string_view code) {
  if (code.size() < 2 || code.size() > 3) return false;
  for (char c : code) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}
}  // namespace

std::optional<ParsedRecord> ParseNodeRecord(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.substr(bytes.size() - 2) != "\r\n") return std::nullopt;
  bytes.remove_suffix(2);
  ParsedRecord record;
  while (!bytes.empty()) {
    const size_t start = bytes.find(kFieldStart);
    const size_t end = bytes.find(kFieldEnd);
    if (start == std::string_view::npos || end == std::string_view::npos || end < start) return std::nullopt;
    const std::string_view code = bytes.substr(0, start);
    const std::string_view value = bytes.substr(start + 1, end - start - 1);
    if (!IsFieldCode(code) || value.find(kFieldStart) != std::string_view::npos) return std::nullopt;
    if (!record.values.emplace(std::string(code), std::string(value)).second) return std::nullopt;
    bytes.remove_prefix(end + 1);
  }
  const auto type = record.values.find(std::string_view("CT"));
  if (type == record.values.end() || type->second.empty()) return std::nullopt;
  record.type = type->second;
  return record;
}
