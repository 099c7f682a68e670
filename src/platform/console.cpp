#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>

namespace platform {
namespace {
std::mutex& ConsoleLock() {
  static std::mutex lock;
  return lock;
}

std::exception_ptr NestedCause(const std::exception& error) {
  const auto* nested = dynamic_cast<const std::nested_exception*>(&error);
  return nested != nullptr ? nested->nested_ptr() : nullptr;
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

std::string DescribeException(std::exception_ptr error) {
  if (!error) return "no exception";
  std::string text;
  while (error) {
    if (!text.empty()) text += ": ";
    std::exception_ptr cause;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& exception) {
      const char* what = exception.what();
      text += what != nullptr && *what != '\0' ? what : "an exception without a message";
      cause = NestedCause(exception);
    } catch (...) {  // not a std::exception: there is nothing more to say about it
      text += "unknown exception";
    }
    error = cause;
  }
  return text;
}

void LogException(std::string_view operation, std::string_view details) {
  try {
    std::string line(operation);
    if (!details.empty()) {
      line += " (";
      line += details;
      line += ")";
    }
    line += ": ";
    line += DescribeException(std::current_exception());
    line += "\n";
    ConsoleWrite(line);
  } catch (const std::bad_alloc&) {
    ConsoleWrite(operation);
    ConsoleWrite(": failed, and memory ran out while saying why\n");
  }
}

}  // namespace platform
