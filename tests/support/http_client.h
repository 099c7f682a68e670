// Raw socket clients for black-box tests (127.0.0.1 only).
#pragma once

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <string>

// Connects to 127.0.0.1:port; -1 on failure.
int ConnectLoopback(int port);
// Connects to address:port (an IPv4 address of this machine); -1 on failure.
int ConnectTo(const std::string& address, int port);
// Connects to 127.0.0.1:port from the source address (another loopback
// address, e.g. 127.0.0.2: a second client host); -1 on failure.
int ConnectFrom(const std::string& source, int port);
// Sends all bytes; false on error.
bool SendAll(int fd, const std::string& bytes);
// Appends what arrives before the deadline (one read); false on close or time-out.
bool ReadSome(int fd, std::string& into, std::chrono::steady_clock::time_point deadline);
// Reads until the peer closes or the time-out passes.
std::string ReadUntilClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Reads until the text has arrived (or close / time-out); returns all read.
std::string ReadUntilContains(int fd, const std::string& text, std::chrono::milliseconds timeout);
// True when the peer closed the connection within the time-out.
bool WaitForClose(int fd, std::chrono::milliseconds timeout);

// One request on a fresh connection: send it, read the whole answer.
std::string Exchange(int port, const std::string& request,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
// headers: extra header lines, each ended by CR LF.
std::string HttpGet(int port, const std::string& target, const std::string& headers = "");
std::string HttpPost(int port, const std::string& target, const std::string& body, const std::string& headers = "");

// A port on 127.0.0.1 that was free a moment ago.
int FreePort();
