// Reading one request: the request line, then for a POST its header block
// and a body of Content-Length bytes. The whole request passes through a
// 1000-byte receive window.
#include <cstdlib>
#include <cstring>

#include "foundation/sockets.h"
#include "http/client_connection.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

// The first token of text delimited by any of the separators (strtok rules:
// leading separators skipped); advances text past it.
const char* NextToken(char*& text, const char* separators) {
  text += std::strspn(text, separators);
  if (*text == '\0') return nullptr;
  char* token = text;
  text += std::strcspn(text, separators);
  if (*text != '\0') *text++ = '\0';
  return token;
}

// "Content-Length: N" (or "Content-length: N"); 0 for any other line.
long ContentLengthOf(const char* line) {
  if (std::strncmp(line, "Content-Length:", 15) != 0 && std::strncmp(line, "Content-length:", 15) != 0) return 0;
  return std::strtol(line + 15, nullptr, 10);
}

}  // namespace

int CClientConnection::ReadHeaders() {
  try {
    const int received = ReceiveInto(m_buffer, m_socket);
    if (received <= 0) return kFinished;
    if (platform::Now() >= m_deadline) return kFinished;
    if (m_method == kMethodUnknown) {
      int result = m_state;
      ReadRequestMethod(result);
      if (result == kFinished) return kFinished;
    }
    if (m_method == kGet) {
      const char* text = m_buffer.CStr();
      return (text != nullptr && (std::strstr(text, "\n\n") || std::strstr(text, "\r\n\r\n"))) ? kRequestComplete
                                                                                            : kReading;
    }
    if (m_method == kPost) {
      if (!m_headersComplete) ReadPostMethodHeaders();
      if (m_refused) return kFinished;
      if (!m_headersComplete) return kReading;
      std::string& body = *m_queryOrBody;
      const std::uint32_t wanted = static_cast<std::uint32_t>(m_contentLength) - m_byteCounter;
      const std::uint32_t available = wanted < m_buffer.Length() ? wanted : m_buffer.Length();
      body.resize(m_byteCounter + available);
      m_byteCounter += m_buffer.Take(body.data() + body.size() - available, available);
      if (m_byteCounter == static_cast<std::uint32_t>(m_contentLength)) {
        m_byteCounter = 0;
        return kRequestComplete;
      }
      return kReading;
    }
    return kReading;
  } catch (...) {
    platform::ConsoleWrite("catch ion ReadHeaders\n");
    return kFinished;
  }
}

void CClientConnection::ReadRequestMethod(int& result) {
  try {
    char line[kRequestLineArea + 1] = {};
    if (m_buffer.TakeLine(line, kRequestLineArea) < 0) return;
    char* cursor = line;
    const char* method = NextToken(cursor, " \t\r\n");
    const char* path = NextToken(cursor, " \r\n");
    if (!CheckGetRequest(method, path) && !CheckPostRequest(method, path)) result = kFinished;
  } catch (...) {
    platform::ConsoleWrite("catch in ReadRequestMethod\n");
  }
}

bool CClientConnection::CheckGetRequest(const char* method, const char* path) {
  try {
    if (method == nullptr || path == nullptr || std::strcmp(method, "GET") != 0 || *path == '\0') return false;
    std::string token(path);
    char* cursor = token.data();
    const char* file = NextToken(cursor, "?\r\n");
    if (file == nullptr) return false;
    m_path = file;
    if (const char* query = NextToken(cursor, "?\r\n")) m_queryOrBody = query;
    m_method = kGet;
    return true;
  } catch (...) {
    platform::ConsoleWrite("catch in CheckGetRequest\n");
    return false;
  }
}

bool CClientConnection::CheckPostRequest(const char* method, const char* path) {
  try {
    if (method == nullptr || path == nullptr || std::strcmp(method, "POST") != 0 || *path == '\0') return false;
    m_path = path;
    m_method = kPost;
    return true;
  } catch (...) {
    platform::ConsoleWrite("catch in CheckPostRequest\n");
    return false;
  }
}

void CClientConnection::ReadPostMethodHeaders() {
  try {
    while (!m_headersComplete) {
      char line[kRequestLineArea + 1] = {};
      if (m_buffer.TakeLine(line, kRequestLineArea) < 0) return;
      if (m_contentLength == 0) {
        const long length = ContentLengthOf(line);
        if (length > kMaxPostBody) {
          m_refused = true;  // more than any form of this system can hold
          return;
        }
        if (length > 0) {  // a zero or negative length is never read
          m_contentLength = static_cast<int>(length);
          m_queryOrBody = std::string();
          m_byteCounter = 0;
        }
      } else if (line[0] == '\0') {
        m_headersComplete = true;
      }
    }
  } catch (...) {
    platform::ConsoleWrite("catch in ReadPostMethodHeaders\n");
  }
}
