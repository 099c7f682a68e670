// The console: standard output, one message at a time, flushed at once so
// that a supervisor (or a test) reading the pipe sees every line as it happens.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace platform {

// printf-style; the whole message is written and flushed under one lock.
void ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ConsoleWrite(std::string_view text);

// What went wrong: the what() of a standard exception, then the causes it
// nests (std::throw_with_nested), each after ": "; "unknown exception" for
// anything that is no std::exception.
std::string DescribeException(std::exception_ptr error);

// Inside a catch block: writes "<operation> (<details>): <cause>" for the
// exception being handled. details names what the operation was about (a
// session, a room, a connection, a file; never a password) and is left out
// when empty. Short of memory for the line, it still names the operation.
void LogException(std::string_view operation, std::string_view details = {});

}  // namespace platform
