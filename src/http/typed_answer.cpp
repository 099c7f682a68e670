#include "http/typed_answer.h"

namespace {

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 422: return "Unprocessable Entity";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return status < 500 ? "Request Refused" : "Internal Server Error";
  }
}

}  // namespace

std::string TypedAnswerBytes(const TypedAnswer& answer, int keepAliveSeconds) {
  const bool hasBody = answer.status != 204;
  std::string bytes = "HTTP/1.1 " + std::to_string(answer.status) + " " + ReasonPhrase(answer.status) + "\r\n";
  if (hasBody && !answer.contentType.empty()) bytes += "Content-Type: " + answer.contentType + "\r\n";
  if (hasBody) bytes += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
  bytes += "Cache-Control: no-store\r\n";
  if (keepAliveSeconds > 0) {
    bytes += "Connection: keep-alive\r\nKeep-Alive: timeout=" + std::to_string(keepAliveSeconds) + "\r\n";
  } else {
    bytes += "Connection: close\r\n";
  }
  bytes += "\r\n";
  if (hasBody) bytes += answer.body;
  return bytes;
}
