#include "http/request_parser.h"


#include "foundation/text.h"

namespace {

// The next token of text: separators skipped first (strtok rules).
std::optional<std::string_view> NextToken(std::string_view& text, std::string_view separators) {
  const size_t start = text.find_first_not_of(separators);
  if (start == std::string_view::npos) {
    text = {};
    return std::nullopt;
  }
  const size_t end = text.find_first_of(separators, start);
  const std::string_view token = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  return token;
}

// A header's value: the text after its name and colon, blanks around it dropped.
std::optional<std::string> HeaderValue(std::string_view line, std::string_view nameAndColon) {
  if (line.size() < nameAndColon.size() || !EqualsFolded(line.substr(0, nameAndColon.size()), nameAndColon)) {
    return std::nullopt;
  }
  return std::string(TrimBlanks(line.substr(nameAndColon.size())));
}

// The value of a Content-Length header: digits alone (blanks around them
// aside), at most kMaxPostBody; none for anything else ("12abc", "+5",
// "5, 5", nothing).
std::optional<long> ContentLengthValue(std::string_view value) {
  value = TrimBlanks(value);
  if (value.empty()) return std::nullopt;
  long length = 0;
  for (char digit : value) {
    if (digit < '0' || digit > '9') return std::nullopt;
    length = length * 10 + (digit - '0');
    if (length > kMaxPostBody) return std::nullopt;
  }
  return length;
}

// A line's trailing blanks and carriage returns do not count.
std::string_view TrimmedEnd(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

}  // namespace

size_t CRequestParser::Feed(std::string_view bytes) {
  size_t used = 0;
  while (used < bytes.size() && m_state != State::kComplete && m_state != State::kRefused) {
    if (m_state == State::kBody) {
      std::string& body = *m_request.queryOrBody;
      const size_t wanted = static_cast<size_t>(m_contentLength) - body.size();
      const size_t taken = std::min(wanted, bytes.size() - used);
      body.append(bytes.substr(used, taken));
      used += taken;
      if (body.size() == static_cast<size_t>(m_contentLength)) m_state = State::kComplete;
      continue;
    }
    const size_t lineFeed = bytes.find('\n', used);
    const size_t end = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
    const std::string_view piece = bytes.substr(used, end - used);
    m_headBytes += piece.size() + (lineFeed == std::string_view::npos ? 0 : 1);
    used = lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
    if (m_line.size() + piece.size() >= kRequestLineArea || m_headBytes > kRequestHeadLimit) {
      Refuse();
      break;
    }
    if (lineFeed == std::string_view::npos) {
      m_line.append(piece);  // the rest of the line comes later
      break;
    }
    if (m_line.empty()) {
      OnLine(TrimmedEnd(piece));  // the whole line is here: no copy
    } else {
      m_line.append(piece);
      const std::string line = std::move(m_line);
      m_line.clear();
      OnLine(TrimmedEnd(line));
    }
  }
  return used;
}

void CRequestParser::OnLine(std::string_view line) {
  if (line.find('\0') != std::string_view::npos) return Refuse();
  if (m_state == State::kRequestLine) return OnRequestLine(line);
  OnHeaderLine(line);
}

void CRequestParser::OnRequestLine(std::string_view line) {
  const std::optional<std::string_view> method = NextToken(line, " \t\r\n");
  const std::optional<std::string_view> path = NextToken(line, " \r\n");
  if (!method || !path) return Refuse();
  if (*method == "GET") {
    std::string_view pieces = *path;
    const std::optional<std::string_view> file = NextToken(pieces, "?\r\n");
    if (!file) return Refuse();  // a path of separators only
    m_request.method = kGet;
    m_request.path = std::string(*file);
    if (const std::optional<std::string_view> query = NextToken(pieces, "?\r\n")) m_request.queryOrBody = std::string(*query);
  } else if (*method == "POST") {
    m_request.method = kPost;
    m_request.path = std::string(*path);  // a query in a POST's URL stays part of its path
  } else {
    return Refuse();
  }
  const std::optional<std::string_view> version = NextToken(line, " \t");
  m_request.http11 = version && *version == "HTTP/1.1";
  m_state = State::kHeaders;
}

void CRequestParser::OnHeaderLine(std::string_view line) {
  if (line.empty()) {  // the end of the headers
    if (m_request.method == kGet) {
      m_state = State::kComplete;
    } else if (m_contentLength < 0) {
      Refuse();  // a POST must say how long its body is
    } else {
      m_request.queryOrBody = std::string();
      m_state = m_contentLength == 0 ? State::kComplete : State::kBody;
    }
    return;
  }
  if (TakeAddressHeader(line) || TakeConnectionHeader(line)) return;
  if (std::optional<std::string> id = HeaderValue(line, "last-event-id:")) {
    m_request.lastEventId = std::move(id);
    return;
  }
  // A body in chunks is not read; a proxy in front that went by the chunks
  // while this parser went by Content-Length would see another request in
  // the body of a kept connection.
  if (HeaderValue(line, "transfer-encoding:")) return Refuse();
  const std::optional<std::string> value = HeaderValue(line, "content-length:");
  if (!value) return;  // other header lines are not needed
  // Said twice it must say the same: a proxy in front may have read the
  // other value and would see another request in the body.
  const std::optional<long> length = ContentLengthValue(*value);
  if (!length || (m_contentLength >= 0 && *length != m_contentLength)) return Refuse();
  m_contentLength = *length;
}

bool CRequestParser::TakeAddressHeader(std::string_view line) {
  if (std::optional<std::string> value = HeaderValue(line, "x-forwarded-for:")) {
    m_request.forwardedFor = std::move(value);
    return true;
  }
  if (std::optional<std::string> value = HeaderValue(line, "x-real-ip:")) {
    m_request.realIp = std::move(value);
    return true;
  }
  return false;
}

bool CRequestParser::TakeConnectionHeader(std::string_view line) {
  const std::optional<std::string> value = HeaderValue(line, "connection:");
  if (!value) return false;
  std::string_view tokens = *value;
  while (const std::optional<std::string_view> token = NextToken(tokens, ", \t")) {
    if (EqualsFolded(*token, "close")) m_request.connectionClose = true;
    if (EqualsFolded(*token, "keep-alive")) m_request.connectionKeepAlive = true;
  }
  return true;
}
