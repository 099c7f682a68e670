// The console: standard output, one message at a time, flushed at once so
// that a supervisor (or a test) reading the pipe sees every line as it happens.
#pragma once

#include <string_view>

namespace platform {

// printf-style; the whole message is written and flushed under one lock.
void ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ConsoleWrite(std::string_view text);

}  // namespace platform
