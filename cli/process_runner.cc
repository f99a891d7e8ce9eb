#include "cli/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace ravik::cli {
namespace {

constexpr int kSampleMillis = 10;

std::vector<std::string> merged_environment(const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!changes.contains(text.substr(0, text.find('=')))) entries.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

long read_peak_rss_kb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    read_end = ends[0];
    write_end = ends[1];
  }
  ~Pipe() {
    close_read();
    close_write();
  }
  void close_read() {
    if (read_end >= 0) ::close(read_end);
    read_end = -1;
  }
  void close_write() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }
};

// Moves what is readable on `fd` into `sink`; false once the pipe is closed.
bool drain(int fd, std::string& sink) {
  char buffer[65536];
  const ssize_t count = ::read(fd, buffer, sizeof buffer);
  if (count > 0) {
    sink.append(buffer, static_cast<std::size_t>(count));
    return true;
  }
  return count < 0 && errno == EINTR;
}

// Points descriptor `fd` of the child at `target`; `pipe` serves a captured
// stream and a broken pipe. Answers whether the stream is captured.
bool arrange_output(posix_spawn_file_actions_t& actions, OutputTarget target, Pipe& pipe, int fd) {
  switch (target) {
    case OutputTarget::captured:
      posix_spawn_file_actions_adddup2(&actions, pipe.write_end, fd);
      return true;
    case OutputTarget::closed:
      posix_spawn_file_actions_addclose(&actions, fd);
      return false;
    case OutputTarget::full_device:
      posix_spawn_file_actions_addopen(&actions, fd, "/dev/full", O_WRONLY, 0);
      return false;
    case OutputTarget::broken_pipe:
      pipe.close_read();
      posix_spawn_file_actions_adddup2(&actions, pipe.write_end, fd);
      return false;
  }
  return false;
}

}  // namespace

ProcessResult run_process(const ProcessRequest& request) {
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read_end, STDIN_FILENO);
  bool out_open = arrange_output(actions, request.stdout_target, out, STDOUT_FILENO);
  bool err_open = arrange_output(actions, request.stderr_target, err, STDERR_FILENO);
  if (!request.working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, request.working_dir.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<std::string> argv_texts = request.argv;
  std::vector<std::string> env_texts = merged_environment(request.environment);
  std::vector<char*> argv = pointers(argv_texts);
  std::vector<char*> envp = pointers(env_texts);
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawn_error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawn_error != 0) {
    throw std::runtime_error("cannot start " + request.argv.at(0) + ": " + std::strerror(spawn_error));
  }
  in.close_read();
  out.close_write();
  err.close_write();

  // Small inputs fit the pipe buffer; the program reads them when it wants.
  // A program that exits unread makes the write fail, which its status shows.
  std::signal(SIGPIPE, SIG_IGN);
  if (!request.input.empty()) (void)!::write(in.write_end, request.input.data(), request.input.size());
  in.close_write();

  ProcessResult result;
  const auto deadline = started + request.deadline;
  // With no stream to read until its end, the program's exit ends the wait.
  const bool watch_exit = !out_open && !err_open;
  int status = 0;
  rusage usage{};
  bool reaped = false, timed_out = false;
  while (out_open || err_open || (watch_exit && !reaped)) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      timed_out = true;
      break;
    }
    pollfd fds[2] = {{out_open ? out.read_end : -1, POLLIN, 0}, {err_open ? err.read_end : -1, POLLIN, 0}};
    if (poll(fds, 2, kSampleMillis) > 0) {
      if (fds[0].revents) out_open = drain(out.read_end, result.out);
      if (fds[1].revents) err_open = drain(err.read_end, result.err);
    }
    result.peak_rss_kb = std::max(result.peak_rss_kb, read_peak_rss_kb(pid));
    if (request.on_progress) request.on_progress(pid, result.err);
    if (watch_exit) reaped = wait4(pid, &status, WNOHANG, &usage) == pid;
  }
  while (!reaped && wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  auto microseconds = [](const timeval& time) {
    return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_usec);
  };
  result.cpu_time = microseconds(usage.ru_utime) + microseconds(usage.ru_stime);
  result.wall_time = std::chrono::steady_clock::now() - started;
  if (timed_out) {
    result.exit_code = -1;
  } else if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = 128 + WTERMSIG(status);
  }
  return result;
}

}  // namespace ravik::cli
