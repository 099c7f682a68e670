#include "platform/hidden_input.h"

#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kLongestLine = 4096;  // more is no password anyone types

// A signal handler reaches no object: the terminal's settings before the
// echo was turned off live here while it is off.
struct termios g_echoingTerminal;
volatile std::sig_atomic_t g_echoOff = 0;

void RestoreEchoAndDie(int signal) {
  if (g_echoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_echoingTerminal);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The signals that end a command typed at a terminal.
constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal's echo off while the object lives; the signals above bring
// it back before they end the process.
class CEchoOff {
 public:
  CEchoOff() {
    if (::tcgetattr(STDIN_FILENO, &g_echoingTerminal) != 0) return;
    for (size_t i = 0; i < kEndingSignals.size(); ++i) m_previous[i] = std::signal(kEndingSignals[i], RestoreEchoAndDie);
    struct termios silent = g_echoingTerminal;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    silent.c_lflag |= ECHONL;  // the Enter key still moves to the next line
    g_echoOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent) == 0;
    m_active = true;
  }
  ~CEchoOff() {
    if (!m_active) return;
    if (g_echoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_echoingTerminal);
    g_echoOff = 0;
    for (size_t i = 0; i < kEndingSignals.size(); ++i) std::signal(kEndingSignals[i], m_previous[i]);
  }
  CEchoOff(const CEchoOff&) = delete;
  CEchoOff& operator=(const CEchoOff&) = delete;

 private:
  bool m_active = false;
  std::array<void (*)(int), kEndingSignals.size()> m_previous{};
};

std::optional<std::string> ReadLine() {
  std::string line;
  char byte = 0;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (byte == '\n') break;
    if (line.size() < kLongestLine) line += byte;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> ReadHiddenLine(const char* prompt) {
  if (!InputIsTerminal()) return ReadLine();
  const CEchoOff echoOff;  // before the prompt: nothing typed after it is shown
  if (::write(STDERR_FILENO, prompt, std::strlen(prompt)) < 0) return std::nullopt;
  return ReadLine();
}

}  // namespace platform
