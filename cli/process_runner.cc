#include "cli/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "process/spawn.h"

extern char** environ;

namespace ravik::cli {
namespace {

constexpr int kSampleMillis = 10;

std::vector<std::string> merged_environment(const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> entries = process::environment_entries(
      environ, [&changes](std::string_view name) { return !changes.contains(std::string(name)); });
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
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

// A descriptor open on /dev/full, closed with this object.
struct FullDevice {
  int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ~FullDevice() {
    if (fd >= 0) ::close(fd);
  }
};

// The descriptor the child gets for an output stream of kind `target`;
// `pipe` serves a captured stream and a broken pipe. Sets `captured`.
int output_descriptor(OutputTarget target, Pipe& pipe, const FullDevice& full_device, bool& captured) {
  captured = target == OutputTarget::captured;
  switch (target) {
    case OutputTarget::captured:
      return pipe.write_end;
    case OutputTarget::closed:
      return -1;
    case OutputTarget::full_device:
      return full_device.fd;
    case OutputTarget::broken_pipe:
      pipe.close_read();
      return pipe.write_end;
  }
  return -1;
}

}  // namespace

ProcessResult run_process(const ProcessRequest& request) {
  Pipe in, out, err;
  const FullDevice full_device;
  bool out_open = false;
  bool err_open = false;
  const process::SpawnRequest spawn_request{
      .argv = request.argv,
      .environment = merged_environment(request.environment),
      .stdin_fd = in.read_end,
      .stdout_fd = output_descriptor(request.stdout_target, out, full_device, out_open),
      .stderr_fd = output_descriptor(request.stderr_target, err, full_device, err_open),
      .working_dir = request.working_dir,
      .end_with_parent = false,
  };
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  try {
    pid = process::spawn(spawn_request);
  } catch (const std::system_error& error) {
    throw std::runtime_error("cannot start " + request.argv.at(0) + ": " + std::strerror(error.code().value()));
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
