// Building the response in memory and writing it out without blocking, one
// send per writable turn.
#include <sys/stat.h>

#include <cstring>

#include "foundation/file.h"
#include "foundation/sockets.h"
#include "http/client_connection.h"
#include "http/page_shell.h"
#include "platform/clock.h"
#include "platform/console.h"

int CClientConnection::GenerateResponse() {
  try {
    m_buffer.Detach();  // the request bytes are done with
    m_buffer.SetGrowthStep(4096);
    ProcessRequest();
    if (m_gifMarked) {
      LoadMarkedGif();
    } else {
      PrefixStandardHead();
    }
    m_path.reset();
    m_queryOrBody.reset();
  } catch (...) {
    platform::ConsoleWrite("catch in GenerateResponse\n");
  }
  return kWriting;
}

void CClientConnection::PrefixStandardHead() {
  const std::string_view response = m_buffer.View();
  if (response.empty() || response.substr(0, 5) == "HTTP/") return;
  CTextBuffer headed;
  headed.SetGrowthStep(m_buffer.GrowthStep());
  m_buffer.Swap(headed);
  WriteHeader(kNoCache);
  m_buffer.Append(headed.View());
}

void CClientConnection::LoadMarkedGif() {
  const std::string response = m_buffer.Str();
  m_buffer.Detach();  // nothing of the page is sent, only the picture
  const size_t marker = response.find(kGifMarker);
  if (marker == std::string::npos) return;
  const size_t nameStart = marker + std::strlen(kGifMarker);
  const size_t nameEnd = response.find('=', nameStart);
  const std::string name = response.substr(nameStart, nameEnd == std::string::npos ? std::string::npos
                                                                                  : nameEnd - nameStart);
  UniqueFile file = OpenFile(DocumentPath(name), "rb");
  struct stat info{};
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return;
  CTextBuffer gif;
  gif.SetGrowthStep(static_cast<std::uint32_t>(info.st_size) + 10);
  gif.AppendString(kGifHead);
  char block[8192];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) gif.Append(block, static_cast<std::uint32_t>(count));
  m_buffer.Swap(gif);
  m_binaryResponse = true;
}

int CClientConnection::WriteData() {
  try {
    m_state = kWriting;
    const char* response = m_buffer.CStr();
    // A text response ends at its first NUL; a GIF is sent by its length.
    const std::uint32_t length =
        response == nullptr ? 0
        : m_binaryResponse  ? m_buffer.Length()
                            : static_cast<std::uint32_t>(std::strlen(response));
    if (m_byteCounter < length && platform::Now() < m_deadline) {
      const int sent = SendBytes(response + m_byteCounter, m_socket, length - m_byteCounter);
      if (sent < 0) {
        Finish();
      } else {
        m_byteCounter += static_cast<std::uint32_t>(sent);
        if (m_byteCounter >= length) Finish();
      }
    } else {
      Finish();
    }
  } catch (...) {
    platform::ConsoleWrite("catch in WriteData\n");
    Finish();
  }
  return m_state;
}
