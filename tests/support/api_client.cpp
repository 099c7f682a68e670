#include "support/api_client.h"

#include <unistd.h>

#include "foundation/text.h"
#include "support/http_client.h"

namespace {
using Clock = std::chrono::steady_clock;

// The answer at the start of the bytes, when it is there whole; length: its bytes.
std::optional<ApiAnswer> TakeAnswer(const std::string& bytes, size_t& length) {
  const size_t headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string::npos) return std::nullopt;
  ApiAnswer answer;
  const std::string head = bytes.substr(0, headEnd);
  size_t lineEnd = head.find("\r\n");
  answer.status = std::atoi(head.substr(9, 3).c_str());  // "HTTP/1.1 200"
  while (lineEnd != std::string::npos) {
    const size_t next = head.find("\r\n", lineEnd + 2);
    const std::string line = head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      answer.headers[AsciiLower(line.substr(0, colon))] = std::string(TrimBlanks(line.substr(colon + 1)));
    }
    lineEnd = next;
  }
  const auto declared = answer.headers.find("content-length");
  const size_t bodyLength = declared == answer.headers.end() ? 0 : std::stoul(declared->second);
  if (bytes.size() < headEnd + 4 + bodyLength) return std::nullopt;
  answer.body = bytes.substr(headEnd + 4, bodyLength);
  length = headEnd + 4 + bodyLength;
  return answer;
}
}  // namespace

std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

CJsonValue ApiAnswer::Json() const { return ParseJson(body).value_or(CJsonValue()); }

std::string ApiAnswer::Field(const std::string& path) const {
  const CJsonValue json = Json();
  const CJsonValue* value = &json;
  size_t start = 0;
  while (value != nullptr) {
    const size_t dot = path.find('.', start);
    value = value->Find(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return value != nullptr && value->Is(CJsonValue::Type::kString) ? value->AsString() : std::string();
}

std::string ApiAnswer::Header(const std::string& name) const {
  const auto found = headers.find(name);
  return found == headers.end() ? std::string() : found->second;
}

bool ApiAnswer::KeptAlive() const { return Header("connection") == "keep-alive"; }

std::string ApiRequest(const std::string& method, const std::string& path, const std::string& body,
                       const std::string& headers) {
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: test\r\n" + headers;
  if (method == "POST") {
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  return request + "\r\n" + body;
}

ApiConnection::ApiConnection(int port) : m_fd(ConnectLoopback(port)) {}

ApiConnection::~ApiConnection() {
  if (m_fd >= 0) ::close(m_fd);
}

bool ApiConnection::Send(const std::string& bytes) { return m_fd >= 0 && SendAll(m_fd, bytes); }

std::optional<ApiAnswer> ApiConnection::Read(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (true) {
    size_t length = 0;
    if (std::optional<ApiAnswer> answer = TakeAnswer(m_buffer, length)) {
      m_buffer.erase(0, length);
      return answer;
    }
    if (m_fd < 0 || !ReadSome(m_fd, m_buffer, end)) return std::nullopt;
  }
}

ApiAnswer ApiConnection::Call(const std::string& method, const std::string& path, const std::string& body,
                              const std::string& headers) {
  if (!Send(ApiRequest(method, path, body, headers))) return {};
  return Read().value_or(ApiAnswer());
}

bool ApiConnection::ClosedWithin(std::chrono::milliseconds timeout) { return WaitForClose(m_fd, timeout); }

ApiAnswer ApiCall(int port, const std::string& method, const std::string& path, const std::string& body) {
  ApiConnection connection(port);
  return connection.Call(method, path, body);
}
