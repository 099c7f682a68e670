// The request reader on arbitrary bytes. The first byte chooses where the
// rest is split in two: the bytes arriving in those two pieces, or one at a
// time, must end in the same state and request as in one piece. The client
// address a trusted proxy's headers give is the peer's or a plain address. A
// request read whole had Content-Length lines of digits alone, all of one
// value, and a POST's body is that long.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/ip_address.h"
#include "fuzz/fuzz_check.h"
#include "http/client_address.h"
#include "http/request_parser.h"

namespace {

struct Outcome {
  CRequestParser parser;
  size_t consumed = 0;
};

void FeedInPieces(Outcome& outcome, std::string_view bytes, size_t split) {
  outcome.consumed = outcome.parser.Feed(bytes.substr(0, split));
  // A connection keeps what was not consumed and feeds it again with the
  // next bytes; once the request is complete or refused nothing more goes in.
  if (outcome.parser.Complete() || outcome.parser.Refused()) return;
  FUZZ_CHECK(outcome.consumed == split);
  outcome.consumed += outcome.parser.Feed(bytes.substr(split));
}

void FeedByteByByte(Outcome& outcome, std::string_view bytes) {
  for (char byte : bytes) {
    if (outcome.parser.Complete() || outcome.parser.Refused()) break;
    outcome.consumed += outcome.parser.Feed(std::string_view(&byte, 1));
  }
}

void CheckSame(const Outcome& a, const Outcome& b) {
  FUZZ_CHECK(a.parser.GetState() == b.parser.GetState());
  if (a.parser.Refused()) return;
  FUZZ_CHECK(a.consumed == b.consumed);
  FUZZ_CHECK(a.parser.Request().method == b.parser.Request().method);
  FUZZ_CHECK(a.parser.Request().path == b.parser.Request().path);
  FUZZ_CHECK(a.parser.Request().queryOrBody == b.parser.Request().queryOrBody);
  FUZZ_CHECK(a.parser.Request().forwardedFor == b.parser.Request().forwardedFor);
  FUZZ_CHECK(a.parser.Request().realIp == b.parser.Request().realIp);
}

void CheckComplete(const CRequestParser& parser) {
  if (!parser.Complete()) return;
  const ParsedRequest& request = parser.Request();
  FUZZ_CHECK(request.method == kGet || request.method == kPost);
  FUZZ_CHECK(request.path.has_value());
  if (request.method == kPost) {
    FUZZ_CHECK(request.queryOrBody.has_value());
    FUZZ_CHECK(request.queryOrBody->size() <= static_cast<size_t>(kMaxPostBody));
  }
  static const CAddressList trusted = *CAddressList::Parse("127.0.0.1");
  const std::string client = ClientAddress("127.0.0.1", request, trusted);
  FUZZ_CHECK(client == "127.0.0.1" || CanonicalIpAddress(client) == client);
}

bool StartsFolded(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != lowerPrefix[i]) return false;
  }
  return true;
}

// The Content-Length lines of the head, each as the parser sees a line: up
// to its line feed, trailing blanks and carriage returns dropped.
void CheckContentLength(std::string_view bytes, const CRequestParser& parser) {
  if (!parser.Complete()) return;
  constexpr std::string_view kName = "content-length:";
  std::optional<std::string> agreed;
  bool requestLine = true;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
    if (requestLine) {
      requestLine = false;
      continue;
    }
    if (line.empty()) break;
    if (!StartsFolded(line, kName)) continue;
    std::string_view value = line.substr(kName.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    while (!value.empty() && value.front() == '0' && value.size() > 1) value.remove_prefix(1);
    FUZZ_CHECK(!value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos);
    FUZZ_CHECK(!agreed || *agreed == value);
    agreed = std::string(value);
  }
  if (parser.Request().method != kPost) return;
  FUZZ_CHECK(agreed.has_value());
  FUZZ_CHECK(std::to_string(parser.Request().queryOrBody->size()) == *agreed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);

  Outcome whole;
  whole.consumed = whole.parser.Feed(bytes);
  FUZZ_CHECK(whole.consumed <= bytes.size());
  CheckComplete(whole.parser);
  CheckContentLength(bytes, whole.parser);

  Outcome twoPieces;
  FeedInPieces(twoPieces, bytes, split);
  CheckSame(whole, twoPieces);

  Outcome single;
  FeedByteByByte(single, bytes);
  CheckSame(whole, single);
  return 0;
}
