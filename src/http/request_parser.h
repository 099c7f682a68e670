// CRequestParser: reads one HTTP/1.0 request from bytes as they arrive (in
// any pieces), resumably: the request line, the header lines up to the
// blank line, and for a POST a body of Content-Length bytes. Header names
// are matched without regard to letter case; of the headers only
// Content-Length, Connection (whether the client keeps the connection for
// another request) and the two a reverse proxy names its client in
// (X-Forwarded-For, X-Real-IP) are kept. Anything malformed is refused
// (the connection then closes without an answer):
//   - a method other than "GET" or "POST" (exactly), or no path;
//   - a NUL byte in the request line or the headers;
//   - a line longer than 2048 bytes, or more than 8192 bytes before the body;
//   - a Content-Length that is not digits alone, or above 65536, or said
//     twice with two values;
//   - a POST without Content-Length;
//   - a Transfer-Encoding header (a body in chunks is not read).
// One parser reads one request; the bytes after it are left for the next.
// Bytes + state in, result out: the parser knows nothing of sockets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum RequestMethod : int { kGet = 0, kPost = 1, kMethodUnknown = 2 };

inline constexpr size_t kRequestLineArea = 2048;  // bytes of one request or header line
// A request line and its headers must fit in this many bytes. Current
// browsers send 600 to 1000 bytes of headers with every request.
inline constexpr size_t kRequestHeadLimit = 8192;
inline constexpr long kMaxPostBody = 64 * 1024;

struct ParsedRequest {
  int method = kMethodUnknown;
  std::optional<std::string> path;
  // GET: the text after '?'; POST: the body.
  std::optional<std::string> queryOrBody;
  // The values as sent, blanks around them dropped; of several
  // X-Forwarded-For lines the last (it ends with the nearest hop).
  std::optional<std::string> forwardedFor;
  std::optional<std::string> realIp;
  // The event stream's position a reconnecting client names.
  std::optional<std::string> lastEventId;
  bool http11 = false;              // the request line ends in "HTTP/1.1"
  bool connectionClose = false;     // "Connection: close"
  bool connectionKeepAlive = false; // "Connection: keep-alive"

  // The client means to send another request on the connection: HTTP/1.1
  // unless it says close, HTTP/1.0 only when it says keep-alive.
  bool WantsKeepAlive() const { return http11 ? !connectionClose : connectionKeepAlive && !connectionClose; }
};

class CRequestParser {
 public:
  enum class State { kRequestLine, kHeaders, kBody, kComplete, kRefused };

  // Takes what it can use of the bytes; returns how many it consumed. Bytes
  // after a complete request are left alone.
  size_t Feed(std::string_view bytes);

  State GetState() const { return m_state; }
  bool Complete() const { return m_state == State::kComplete; }
  bool Refused() const { return m_state == State::kRefused; }
  const ParsedRequest& Request() const { return m_request; }
  ParsedRequest TakeRequest() { return std::move(m_request); }

 private:
  // A whole line has arrived (without its line end).
  void OnLine(std::string_view line);
  void OnRequestLine(std::string_view line);
  void OnHeaderLine(std::string_view line);
  // Keeps the line when it names the client's address; false for other lines.
  bool TakeAddressHeader(std::string_view line);
  // Notes the tokens of a Connection header; false for other lines.
  bool TakeConnectionHeader(std::string_view line);
  void Refuse() { m_state = State::kRefused; }

  State m_state = State::kRequestLine;
  ParsedRequest m_request;
  std::string m_line;        // the line read so far
  size_t m_headBytes = 0;    // bytes of the request line and headers
  long m_contentLength = -1; // -1: no Content-Length header yet
};
