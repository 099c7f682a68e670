// Small helpers around stdio files, shared by every reader of site files.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline UniqueFile OpenFile(const std::string& path, const char* mode) {
  return UniqueFile(std::fopen(path.c_str(), mode));
}

// Reads one piece of a text file the way a text-mode fgets on the Windows
// platform did: at most size - 1 bytes, through the first line feed, with a
// carriage return before the line feed dropped. False at the end of the file.
bool ReadTextPiece(std::FILE* file, std::string& piece, size_t size);

// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);
