#include "playwright/internal/driver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
#include "process/spawn.h"

extern char** environ;

namespace playwright::detail {

namespace {

// After SIGTERM, how long the driver may take to close its browsers.
constexpr std::chrono::milliseconds kTerminateGrace{5000};
// How often the exit is checked where no pidfd is available.
constexpr std::chrono::milliseconds kExitPollInterval{50};

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

}  // namespace

DriverProcess::DriverProcess(const DriverLocation& location) {
  // [0] is the child's end, [1] ours. stdin is a socket pair: writing to a
  // dead driver then fails with EPIPE instead of raising SIGPIPE.
  int stdin_pair[2] = {-1, -1};
  int stdout_pipe[2] = {-1, -1};
  int stderr_pipe[2] = {-1, -1};
  const auto close_all = [&] {
    for (int* pair : {stdin_pair, stdout_pipe, stderr_pipe}) {
      close_fd(pair[0]);
      close_fd(pair[1]);
    }
  };
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stdin_pair) != 0 ||
      ::pipe2(stdout_pipe, O_CLOEXEC) != 0 || ::pipe2(stderr_pipe, O_CLOEXEC) != 0) {
    const int error = errno;
    close_all();
    throw Error("cannot start the Playwright driver: " + errno_text(error));
  }
  const ravik::process::SpawnRequest request{
      .argv = {location.node.string(), location.cli_js.string(), "run-driver"},
      .environment = driver_environment(environ),
      .stdin_fd = stdin_pair[0],
      .stdout_fd = stdout_pipe[1],
      .stderr_fd = stderr_pipe[1],
      .working_dir = {},
      .end_with_parent = true,
  };
  try {
    pid_ = ravik::process::spawn(request);
  } catch (const std::system_error& error) {
    close_all();
    reaped_ = true;
    throw Error("cannot start the Playwright driver " + location.node.string() + ": " +
                errno_text(error.code().value()));
  }
  close_fd(stdin_pair[0]);
  close_fd(stdout_pipe[1]);
  close_fd(stderr_pipe[1]);
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
