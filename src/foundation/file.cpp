#include "foundation/file.h"

bool ReadTextPiece(std::FILE* file, std::string& piece, size_t size) {
  piece.clear();
  while (piece.size() + 1 < size) {
    const int c = std::getc(file);
    if (c == EOF) break;
    if (c == '\r') {
      const int next = std::getc(file);
      if (next == '\n') {
        piece.push_back('\n');
        break;
      }
      if (next != EOF) std::ungetc(next, file);
      piece.push_back('\r');
      continue;
    }
    piece.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece.empty();
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string(".");
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}
