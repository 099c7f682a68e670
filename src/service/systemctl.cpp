#include "service/systemctl.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace {

class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return m_fd; }
  void Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }
  void Close() { Reset(-1); }

 private:
  int m_fd = -1;
};

struct Pipe {
  Descriptor read;
  Descriptor write;

  bool Open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read.Reset(ends[0]);
    write.Reset(ends[1]);
    return true;
  }
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  posix_spawn_file_actions_t* Get() { return &m_actions; }

 private:
  posix_spawn_file_actions_t m_actions;
};

// Reads both pipes until the program has closed them; reading one at a
// time could block while the program waits for room in the other.
void ReadUntilClosed(Pipe& out, Pipe& err, ProgramRun& run) {
  std::array<pollfd, 2> entries{{{out.read.Get(), POLLIN, 0}, {err.read.Get(), POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&run.output, &run.errors};
  std::array<char, 4096> chunk;
  int open = 2;
  while (open > 0) {
    if (::poll(entries.data(), entries.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].fd < 0 || entries[i].revents == 0) continue;
      const ssize_t got = ::read(entries[i].fd, chunk.data(), chunk.size());
      if (got > 0) {
        sinks[i]->append(chunk.data(), static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        entries[i].fd = -1;  // poll skips negative descriptors
        --open;
      }
    }
  }
}

void WaitForEnd(pid_t pid, ProgramRun& run) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      run.startError = errno;
      return;
    }
  }
  if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  ProgramRun run;
  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) {
    run.startError = errno;
    return run;
  }
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.Get(), out.write.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.Get(), err.write.Get(), STDERR_FILENO);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  run.startError = posix_spawnp(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ);
  // Only the program may hold the writing ends now, so its exit closes them.
  out.write.Close();
  err.write.Close();
  if (run.startError != 0) return run;
  ReadUntilClosed(out, err, run);
  WaitForEnd(pid, run);
  return run;
}

ProgramRun RunSystemctl(const std::vector<std::string>& arguments) {
  const char* program = std::getenv("TOLVAN_SYSTEMCTL");
  return RunProgram(program != nullptr && program[0] != '\0' ? program : "systemctl", arguments);
}
