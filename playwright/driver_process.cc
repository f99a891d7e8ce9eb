#include "playwright/internal/driver_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "playwright/error.h"
#include "playwright/internal/driver_environment.h"

extern char** environ;

namespace playwright::detail {

namespace {

// After SIGTERM, how long the driver may take to close its browsers.
constexpr std::chrono::milliseconds kTerminateGrace{5000};
// How often the exit is checked where no pidfd is available.
constexpr std::chrono::milliseconds kExitPollInterval{50};
// Descriptors above this are not looked at where close_range cannot mark
// them all at once.
constexpr int kDescriptorLimitCap = 1 << 20;

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string errno_text(int error) { return std::strerror(error); }

// Waits for `pid` to exit and reaps it, through any signal that arrives.
void reap(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

std::vector<char*> pointers_to(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child: makes `fd` the descriptor `target`, inherited across exec.
void move_to(int fd, int target) {
  if (fd == target) {
    ::fcntl(fd, F_SETFD, 0);
  } else {
    ::dup2(fd, target);
  }
}

// The highest descriptor number + 1 that this process may hold.
int descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kDescriptorLimitCap;
  return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, kDescriptorLimitCap));
}

// In the child: marks every descriptor from 3 on close-on-exec, so that none
// of the host's leaks into the driver. Kernels before 5.11 lack
// CLOSE_RANGE_CLOEXEC: there the descriptors below `max_fd` are marked one
// by one.
void mark_host_descriptors_cloexec(int max_fd) {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (int fd = 3; fd < max_fd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_driver(char* const* argv, char* const* envp, int stdin_fd, int stdout_fd, int stderr_fd,
                              int report_fd, pid_t parent, int max_fd) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // A group of its own: a terminal's Ctrl-C reaches only the host, which
  // then closes the browser in order.
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);  // the parent died before prctl
  move_to(stdin_fd, 0);
  move_to(stdout_fd, 1);
  move_to(stderr_fd, 2);
  mark_host_descriptors_cloexec(max_fd);
  ::execve(argv[0], argv, envp);
  const int error = errno;
  [[maybe_unused]] auto written = ::write(report_fd, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

DriverProcess::DriverProcess(const DriverLocation& location) {
  // [0] is the child's end, [1] ours. stdin is a socket pair: writing to a
  // dead driver then fails with EPIPE instead of raising SIGPIPE.
  int stdin_pair[2] = {-1, -1};
  int stdout_pipe[2] = {-1, -1};
  int stderr_pipe[2] = {-1, -1};
  int report_pipe[2] = {-1, -1};  // carries the errno of a failed exec
  const auto close_all = [&] {
    for (int* pair : {stdin_pair, stdout_pipe, stderr_pipe, report_pipe}) {
      close_fd(pair[0]);
      close_fd(pair[1]);
    }
  };
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stdin_pair) != 0 ||
      ::pipe2(stdout_pipe, O_CLOEXEC) != 0 || ::pipe2(stderr_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(report_pipe, O_CLOEXEC) != 0) {
    const int error = errno;
    close_all();
    throw Error("cannot start the Playwright driver: " + errno_text(error));
  }
  std::vector<std::string> args = {location.node.string(), location.cli_js.string(), "run-driver"};
  std::vector<std::string> env = driver_environment(environ);
  auto argv = pointers_to(args);
  auto envp = pointers_to(env);

  const pid_t parent = ::getpid();
  const int limit = descriptor_limit();
  pid_ = ::fork();
  if (pid_ == 0) {
    exec_driver(argv.data(), envp.data(), stdin_pair[0], stdout_pipe[1], stderr_pipe[1], report_pipe[1], parent, limit);
  }
  if (pid_ < 0) {
    const int error = errno;
    close_all();
    throw Error("cannot start the Playwright driver: " + errno_text(error));
  }
  close_fd(stdin_pair[0]);
  close_fd(stdout_pipe[1]);
  close_fd(stderr_pipe[1]);
  close_fd(report_pipe[1]);
  int exec_error = 0;
  ssize_t got;
  do {
    got = ::read(report_pipe[0], &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    reap(pid_);
    reaped_ = true;
    close_all();
    throw Error("cannot start the Playwright driver " + location.node.string() + ": " + errno_text(exec_error));
  }
  close_fd(report_pipe[0]);
  stdin_fd_ = std::exchange(stdin_pair[1], -1);
  stdout_fd_ = std::exchange(stdout_pipe[0], -1);
  stderr_fd_ = std::exchange(stderr_pipe[0], -1);
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // -1 on old kernels: exits are polled
}

DriverProcess::~DriverProcess() {
  close_fd(stdin_fd_);
  close_fd(stdout_fd_);
  close_fd(stderr_fd_);
  if (!reaped_) {
    if (!block_until_exit(kTerminateGrace)) {
      ::kill(pid_, SIGTERM);
      if (!block_until_exit(kTerminateGrace)) ::kill(pid_, SIGKILL);
    }
    reap(pid_);
  }
  close_fd(pidfd_);
}

int DriverProcess::take_stdin() { return std::exchange(stdin_fd_, -1); }
int DriverProcess::take_stdout() { return std::exchange(stdout_fd_, -1); }
int DriverProcess::take_stderr() { return std::exchange(stderr_fd_, -1); }

bool DriverProcess::try_reap() {
  if (reaped_) return true;
  pid_t result;
  do {
    result = ::waitpid(pid_, nullptr, WNOHANG);
  } while (result < 0 && errno == EINTR);
  reaped_ = result == pid_ || (result < 0 && errno == ECHILD);
  return reaped_;
}

bool DriverProcess::block_until_exit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (pidfd_ >= 0) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{pidfd_, POLLIN, 0};
      const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long>(left.count(), 0)));
      if (ready >= 0 || errno != EINTR) return ready > 0;
    }
  }
  while (!try_reap()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(static_cast<useconds_t>(std::chrono::microseconds(kExitPollInterval).count()));
  }
  return true;
}

asio::awaitable<bool> DriverProcess::await_exit(asio::any_io_executor executor, std::chrono::milliseconds timeout) {
  using namespace asio::experimental::awaitable_operators;
  asio::steady_timer timer(executor, timeout);
  if (pidfd_ >= 0) {
    const int watched = ::fcntl(pidfd_, F_DUPFD_CLOEXEC, 0);
    if (watched >= 0) {
      asio::posix::stream_descriptor exit_watch(executor, watched);
      co_await (exit_watch.async_wait(asio::posix::stream_descriptor::wait_read, asio::use_awaitable) ||
                timer.async_wait(asio::use_awaitable));
      co_return try_reap();
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!try_reap() && std::chrono::steady_clock::now() < deadline) {
    timer.expires_after(kExitPollInterval);
    asio::error_code ignored;
    co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  co_return try_reap();
}

asio::awaitable<void> DriverProcess::wait_for_exit(asio::any_io_executor executor, std::chrono::milliseconds grace) {
  bool exited = try_reap();
  if (!exited) exited = co_await await_exit(executor, grace);
  if (!exited) {
    ::kill(pid_, SIGTERM);
    exited = co_await await_exit(executor, kTerminateGrace);
  }
  if (!exited) {
    ::kill(pid_, SIGKILL);
    reap(pid_);
    reaped_ = true;
  }
}

}  // namespace playwright::detail
