// The socket functions: opening listening sockets (by TCP service name or
// port number) and reading a peer's address. Every socket is non-blocking;
// failures are reported by return values and nothing is printed.
#pragma once

#include <netinet/in.h>

#include <string>

#include "platform/unique_fd.h"

// The port a text names: a TCP service name from the services database, or
// a decimal number (atoi rules); 0 when it names none.
int PortOf(const std::string& text);

struct ListeningSocket {
  platform::CUniqueFd fd;
  int port = 0;   // the port asked for
  int error = 0;  // errno of the failing step when fd is not valid (0: the text names no port)
};

// Listens on every local IPv4 address. With sharePort the socket joins a
// group of sockets on one port (SO_REUSEPORT) among which the kernel spreads
// new connections; such a group is only opened after ProbePortIsFree.
ListeningSocket OpenListeningSocket(const std::string& port, int backlog, bool sharePort = false);

// Binds the port alone for a moment: fails (with errno in error) when
// anybody listens there, even a group of shared sockets of another process.
ListeningSocket ProbePortIsFree(const std::string& port);

// A peer's dotted IPv4 address; "127.0.0.1" when it is not an IPv4 address.
std::string DottedAddress(const sockaddr_in& address);
