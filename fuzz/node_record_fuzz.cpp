// Node records on arbitrary bytes, both ways: the bytes read as a record
// must give well-formed fields; and a record built from fuzzed values of a
// fuzzed layout must read back as exactly those values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "nodelink/node_record.h"

namespace {

constexpr int kLayoutCount = static_cast<int>(RecordLayout::kRefuse) + 1;

void CheckParsed(std::string_view bytes) {
  const std::optional<ParsedRecord> record = ParseNodeRecord(bytes);
  if (!record) return;
  FUZZ_CHECK(!record->type.empty());
  FUZZ_CHECK(record->Get("CT") == record->type);
  for (const auto& [code, value] : record->values) {
    FUZZ_CHECK(code.size() == 2 || code.size() == 3);
    FUZZ_CHECK(value.find(kFieldStart) == std::string::npos);
    FUZZ_CHECK(value.find(kFieldEnd) == std::string::npos);
  }
}

// Splits the bytes into values at 0x00; the separators cannot be carried.
std::vector<std::string> ValuesOf(std::string_view bytes) {
  std::vector<std::string> values(1);
  for (char c : bytes) {
    if (c == '\0') {
      values.emplace_back();
    } else if (c != kFieldStart && c != kFieldEnd) {
      values.back() += c;
    }
  }
  return values;
}

void CheckRoundTrip(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const auto layout = static_cast<RecordLayout>(data[0] % kLayoutCount);
  const int serial = data[1];
  const std::vector<std::string> pieces = ValuesOf(std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));
  static const char* const kCodes[] = {"UN", "PW", "SS", "ND", "IP", "RM", "MN", "MSG", "CO", "FR", "TO", "PA", "EM"};
  RecordValues values;
  for (size_t i = 0; i < pieces.size() && i < std::size(kCodes); ++i) values[kCodes[i]] = pieces[i];

  const std::string bytes = BuildNodeRecord(layout, values, serial);
  const std::optional<ParsedRecord> record = ParseNodeRecord(bytes);
  FUZZ_CHECK(record.has_value());
  FUZZ_CHECK(record->type == LayoutType(layout));
  if (LayoutIsNumbered(layout)) FUZZ_CHECK(record->Get("SN") == std::to_string(serial));
  for (const auto& [code, value] : record->values) {
    if (code == "CT" || code == "SN") continue;
    const auto given = values.find(code);
    const std::string expected = given == values.end() ? std::string() : given->second;
    FUZZ_CHECK(value == (code == "MSG" ? expected.substr(0, kRecordTextLimit) : expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckParsed(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckRoundTrip(data, size);
  return 0;
}
