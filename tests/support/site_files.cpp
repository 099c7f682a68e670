#include "support/site_files.h"

#include <fstream>
#include <sstream>
#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WaitForFileText(const std::string& path, const std::string& text) {
  for (int attempt = 0; attempt < 250; ++attempt) {
    if (ReadWholeFile(path) == text) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string AsTemplate(const std::string& file) {
  std::string out;
  size_t start = 0;
  while (start < file.size()) {
    const size_t end = file.find('\n', start);
    std::string piece = file.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
    if (piece.size() >= 2 && piece[piece.size() - 2] == '\r' && piece.back() == '\n') piece.erase(piece.size() - 2, 1);
    out += piece + "\r\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string UrlEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (isalnum(c) || c == '.' || c == '_' || c == '-') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string BodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}
