// The socket functions: opening listening sockets (by TCP service name or
// port number, on every local IPv4 address or on one) and reading a peer's
// address. Every socket is non-blocking; failures are reported by return
// values and nothing is printed.
#pragma once

#include <netinet/in.h>

#include <string>

#include "platform/unique_fd.h"

// The port a text names: a TCP service name from the services database, or
// a decimal number (atoi rules); 0 when it names none.
int PortOf(const std::string& text);

// Where a server listens: a local IPv4 address in dotted form (empty: every
// local address) and a port text.
struct ListenAddress {
  std::string address;
  std::string port;

  // "port 8080", or "127.0.0.1 port 8080", for messages.
  std::string Describe() const;
};

struct ListeningSocket {
  platform::CUniqueFd fd;
  int port = 0;   // the port asked for
  int error = 0;  // errno of the failing step when fd is not valid (0: the texts name no port or address)
  std::string failure;  // why fd is not valid, for the console
};

// With sharePort the socket joins a group of sockets on one port
// (SO_REUSEPORT) among which the kernel spreads new connections; such a
// group is only opened after ProbePortIsFree.
ListeningSocket OpenListeningSocket(const ListenAddress& where, int backlog, bool sharePort = false);

// Binds the port alone for a moment: fails (with errno in error) when
// anybody listens there, even a group of shared sockets of another process.
ListeningSocket ProbePortIsFree(const ListenAddress& where);

// A peer's dotted IPv4 address; "127.0.0.1" when it is not an IPv4 address.
std::string DottedAddress(const sockaddr_in& address);
