// CClientConnection: one accepted HTTP connection, owned by the worker that
// accepted it and touched by that worker alone. A small state machine: read
// one request, build the whole response, write it out over as many turns as
// the socket needs, then end (closing the socket, or handing it over to a
// message stream).
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "foundation/text_buffer.h"
#include "platform/socket_object.h"

class CRequestForm;

enum ConnectionState : int { kReading = 0, kRequestComplete = 1, kWriting = 2, kFinished = 3 };
enum RequestMethod : int { kGet = 0, kPost = 1, kMethodUnknown = 2 };

inline constexpr int kDefaultConnectionTimeout = 120;  // seconds
inline constexpr int kRequestLineArea = 2048;          // bytes of one request or header line
inline constexpr int kMaxPostBody = 64 * 1024;         // a longer Content-Length is refused

// Takes over the socket of a connection marked for a message stream. Set by
// the stream side; without it such a socket is simply closed.
using StreamHandOff = std::function<void(sock_t socket, const std::string& session)>;
void SetStreamHandOff(StreamHandOff handOff);

class CClientConnection {
 public:
  explicit CClientConnection(sock_t socket);
  virtual ~CClientConnection();
  CClientConnection(const CClientConnection&) = delete;
  CClientConnection& operator=(const CClientConnection&) = delete;

  // Runs the step of the current state and returns the new state.
  int Step();
  int GetState() const { return m_state; }
  void Finish();
  const sock_t& GetSocket() const { return m_socket; }
  std::string PeerAddress() const;
  std::time_t Deadline() const { return m_deadline; }

  // Reading (state 0).
  int ReadHeaders();
  void ReadRequestMethod(int& result);
  bool CheckGetRequest(const char* method, const char* path);
  bool CheckPostRequest(const char* method, const char* path);
  void ReadPostMethodHeaders();

  // Building and writing (states 1 and 2).
  int GenerateResponse();
  int WriteData();
  void ProcessRequest();

  // The page shell: pieces every page builder appends to the response.
  void WriteHeader(const char* extra);
  void writetitle(const char* subtitle, const char* bodyAttributes);
  void WriteBodyEnd();
  // IncludeFile into the response, remembering a GIF marker it leaves.
  bool IncludeFile(const std::string& name);

  CTextBuffer& Response() { return m_buffer; }
  int Method() const { return m_method; }
  const std::optional<std::string>& RequestPath() const { return m_path; }
  const std::optional<std::string>& RequestQuery() const { return m_queryOrBody; }
  std::uint32_t ByteCounter() const { return m_byteCounter; }

  // Marks the connection to become the message stream of that session.
  void HandOffAsStream(const std::string& session);

 private:
  // The standard head goes in front of an answer that has no status line.
  void PrefixStandardHead();
  // Replaces a GIF marker response by the GIF head and the file's bytes.
  void LoadMarkedGif();

  std::uint32_t m_byteCounter = 0;
  CTextBuffer m_buffer;
  int m_state = kReading;
  int m_method = kMethodUnknown;
  std::string m_handOffSession;
  int m_contentLength = 0;
  std::optional<std::string> m_path;
  std::optional<std::string> m_queryOrBody;
  bool m_headersComplete = false;
  bool m_refused = false;  // the request cannot be served; close without an answer
  std::time_t m_deadline;
  bool m_handOff = false;
  bool m_gifMarked = false;  // IncludeFile put a GIF marker into the response
  bool m_binaryResponse = false;  // the response is sent by its length, NUL bytes and all
  sock_t m_socket;
};
