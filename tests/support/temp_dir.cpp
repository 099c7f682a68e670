#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir() {
  char pattern[] = "/tmp/tolvan-test-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  m_path = made != nullptr ? made : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (m_path != "/tmp") std::filesystem::remove_all(m_path, ignored);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path path = File(name);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
