#include "tools/tnpack/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tnpack {
namespace {

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_child = 0;

void OnInterrupt(int signal_number) {
  if (g_signal == 0) g_signal = signal_number;
  const pid_t child = static_cast<pid_t>(g_child);
  if (child > 0) kill(child, SIGTERM);
}

}  // namespace

void InstallInterruptHandlers() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous = {};
    sigaction(signal_number, nullptr, &previous);
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns with EINTR
    sigaction(signal_number, &action, nullptr);
  }
}

bool Interrupted() { return g_signal != 0; }

int InterruptSignal() { return g_signal; }

void ExitWithInterruptSignal() {
  const int signal_number = g_signal != 0 ? g_signal : SIGTERM;
  std::fflush(stdout);
  std::fflush(stderr);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  _exit(128 + signal_number);
}

ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& directory,
                      const std::function<void(const std::string&)>& on_output) {
  ProgramRun run;
  if (arguments.empty() || Interrupted()) return run;
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int output_pipe[2];
  int exec_pipe[2];  // closed by a successful exec; carries errno otherwise
  if (pipe2(output_pipe, O_CLOEXEC) != 0) return run;
  if (pipe2(exec_pipe, O_CLOEXEC) != 0) {
    close(output_pipe[0]);
    close(output_pipe[1]);
    return run;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0) {
    for (int fd : {output_pipe[0], output_pipe[1], exec_pipe[0], exec_pipe[1]}) close(fd);
    return run;
  }
  if (child == 0) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction previous = {};
      sigaction(signal_number, nullptr, &previous);
      if (previous.sa_handler != SIG_IGN) signal(signal_number, SIG_DFL);
    }
    const int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, STDIN_FILENO);
    dup2(output_pipe[1], STDOUT_FILENO);
    dup2(output_pipe[1], STDERR_FILENO);
    int error = 0;
    if (!directory.empty() && chdir(directory.c_str()) != 0) {
      error = errno;
    } else {
      execvp(argv[0], argv.data());
      error = errno;
    }
    ssize_t ignored = write(exec_pipe[1], &error, sizeof(error));
    (void)ignored;
    _exit(127);
  }
  g_child = child;
  if (g_signal != 0) kill(child, SIGTERM);
  close(output_pipe[1]);
  close(exec_pipe[1]);

  int exec_error = 0;
  ssize_t got;
  do {
    got = read(exec_pipe[0], &exec_error, sizeof(exec_error));
  } while (got < 0 && errno == EINTR);
  close(exec_pipe[0]);
  run.started = got == 0;

  char buffer[8192];
  for (;;) {
    const ssize_t count = read(output_pipe[0], buffer, sizeof(buffer));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    const std::string piece(buffer, static_cast<size_t>(count));
    run.output += piece;
    if (on_output) on_output(piece);
  }
  close(output_pipe[0]);

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      status = -1;
      break;
    }
  }
  g_child = 0;
  if (status != -1 && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

std::string OutputTail(const std::string& output, size_t max_lines) {
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    // 7-Zip redraws its progress with backspaces; keep what is left readable.
    size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos) lines.push_back(line.substr(start));
    line.clear();
  };
  for (char c : output) {
    if (c == '\n' || c == '\r') {
      flush();
    } else if (c == '\b') {
      if (!line.empty()) line.pop_back();
    } else {
      line += c;
    }
  }
  flush();
  std::string tail;
  const size_t first = lines.size() > max_lines ? lines.size() - max_lines : 0;
  for (size_t i = first; i < lines.size(); ++i) {
    if (!tail.empty()) tail += "; ";
    tail += lines[i];
  }
  return tail;
}

std::vector<std::string> OutputLines(const std::string& output) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace tnpack
