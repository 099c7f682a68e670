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

const std::string& BodyOf(const TypedAnswer& answer) { return answer.file ? answer.file->bytes : answer.body; }

std::string StatusLine(const char* version, int status) {
  return std::string(version) + " " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
}

// The classic pages' head: no length, no word on the connection (it closes).
std::string ClassicBytes(const TypedAnswer& answer) {
  std::string bytes = StatusLine("HTTP/1.0", answer.status);
  if (!answer.contentType.empty()) bytes += "Content-type: " + answer.contentType + "\r\n";
  bytes += "\r\n";
  bytes += BodyOf(answer);
  return bytes;
}

}  // namespace

std::string TypedAnswerBytes(const TypedAnswer& answer, int keepAliveSeconds) {
  if (answer.form == AnswerForm::kNothing) return std::string();
  if (answer.form == AnswerForm::kClassic) return ClassicBytes(answer);
  const bool hasBody = answer.status != 204;
  const std::string& body = BodyOf(answer);
  std::string bytes = StatusLine("HTTP/1.1", answer.status);
  if (hasBody && !answer.contentType.empty()) bytes += "Content-Type: " + answer.contentType + "\r\n";
  if (hasBody) bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  bytes += "Cache-Control: no-store\r\n";
  if (keepAliveSeconds > 0) {
    bytes += "Connection: keep-alive\r\nKeep-Alive: timeout=" + std::to_string(keepAliveSeconds) + "\r\n";
  } else {
    bytes += "Connection: close\r\n";
  }
  bytes += "\r\n";
  if (hasBody) bytes += body;
  return bytes;
}
