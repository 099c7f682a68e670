// A client of the JSON API for black-box tests: HTTP/1.1 requests on one
// kept connection (127.0.0.1), answers read by their Content-Length, and
// the text of UTF-8 literals (the test sources' plain literals are GB2312).
#pragma once

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <map>
#include <optional>
#include <string>

#include "foundation/json.h"

// The bytes of a u8"" literal.
std::string U8(const char8_t* text);

struct ApiAnswer {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  // The body as JSON (a null value when it is none).
  CJsonValue Json() const;
  // A string member of the JSON body ("" when there is none); "error.code" reaches into the error object.
  std::string Field(const std::string& path) const;
  bool KeptAlive() const;
  // The header's value ("" when there is none); the name in lower case.
  std::string Header(const std::string& name) const;
};

// The request's bytes: HTTP/1.1 with Host, a JSON body for a POST
// (Content-Length), and extra header lines (each ended by CR LF).
std::string ApiRequest(const std::string& method, const std::string& path, const std::string& body = "",
                       const std::string& headers = "");

class ApiConnection {
 public:
  explicit ApiConnection(int port);
  ~ApiConnection();
  ApiConnection(const ApiConnection&) = delete;
  ApiConnection& operator=(const ApiConnection&) = delete;

  bool Send(const std::string& bytes);
  // The next answer on the connection; none when it closes or the time is up first.
  std::optional<ApiAnswer> Read(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Sends one request and reads its answer (status 0 when none came).
  ApiAnswer Call(const std::string& method, const std::string& path, const std::string& body = "",
                 const std::string& headers = "");
  // True when the server closes the connection within the time.
  bool ClosedWithin(std::chrono::milliseconds timeout);

 private:
  int m_fd = -1;
  std::string m_buffer;  // read and not yet taken
};

// One call on a fresh connection.
ApiAnswer ApiCall(int port, const std::string& method, const std::string& path, const std::string& body = "");
