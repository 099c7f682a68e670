// The socket functions: every network input and output of the system.
// Sockets are non-blocking; each send and receive first asks poll, with a
// zero time-out, whether the socket is ready, so no thread ever blocks in a
// socket call. Failures are -1 (or 0 for a send that was not possible yet);
// nothing is printed.
#pragma once

#include <string>

#include "foundation/text_buffer.h"
#include "platform/socket_object.h"

inline constexpr int kReceiveChunk = 1999;        // bytes taken by one receive
// A request (its line and headers, and what waits of its body) must fit in
// this many bytes. Current browsers send 600 to 1000 bytes of headers with
// every request, so the window is sized for them, not for the headers of 1999.
inline constexpr unsigned kReceiveWindow = 8192;

int StartSockets();
void StopSockets();

// Listens on every local IPv4 address; the port text is a TCP service name
// or a decimal number. Null on any failure.
sock_t OpenListeningSocket(const std::string& port, int backlog);
sock_t AcceptConnection(const sock_t& listening);
// The socket is open and still answers a query of its type.
bool SocketIsAlive(const sock_t& socket);
void CloseSocket(const sock_t& socket);

bool ReadableNow(const sock_t& socket);
bool WritableNow(const sock_t& socket);

// One receive appended as text (bytes after a NUL are dropped). The count
// received, 0 when the peer has closed, -1 when nothing was readable, on an
// error, or when the buffer now holds more than kReceiveWindow bytes.
int ReceiveInto(CTextBuffer& buffer, const sock_t& socket);
// One send of the text up to its NUL when the socket is writable now: the
// count sent, 0 when not writable, -1 on an error. Null text gives 0.
int SendText(const char* text, const sock_t& socket);
int SendBytes(const char* bytes, const sock_t& socket, size_t count);

// The peer's dotted IPv4 address; "127.0.0.1" when it cannot be read.
std::string GetPeerAddress(const sock_t& socket);
