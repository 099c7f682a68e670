#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace platform {
namespace {
std::mutex& ConsoleLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

void ConsoleWrite(std::string_view text) {
  std::lock_guard<std::mutex> guard(ConsoleLock());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
  if (needed > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  ConsoleWrite(text);
}

}  // namespace platform
