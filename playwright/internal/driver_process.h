// DriverProcess: the child process `node <playwright-core>/cli.js run-driver`.
//
// The driver reads framed messages on its standard input and writes them on
// its standard output. It gets only the environment driver_environment()
// lets through, and none of the host's descriptors. Every descriptor made
// here is close-on-exec, so no other child of the host inherits them; the driver gets a parent-death
// signal, so it (and with it the browsers it launched) ends when the thread
// that started it dies. It leads a process group of its own, so that the
// terminal's Ctrl-C reaches only the host, which closes the browser itself. The process is always reaped: by wait_for_exit(), or
// at the latest by the destructor.
#pragma once

#include <sys/types.h>

#include <chrono>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "playwright/driver_location.h"
#include "playwright/internal/driver_endpoint.h"

namespace playwright::detail {

class DriverProcess final : public DriverEndpoint {
 public:
  // Starts the driver. Throws Error when it cannot be started.
  explicit DriverProcess(const DriverLocation& location);
  // Ends and reaps a driver that is still running (a blocking wait of at
  // most a few seconds).
  ~DriverProcess() override;
  DriverProcess(const DriverProcess&) = delete;
  DriverProcess& operator=(const DriverProcess&) = delete;

  // Our ends of the driver's standard streams. Ownership passes to the
  // caller; each may be taken once (later calls answer -1).
  pid_t pid() const { return pid_; }

  int take_stdin() override;
  int take_stdout() override;
  int take_stderr() override;

  // Waits for the driver to exit on its own for at most `grace`; then asks it
  // to end (SIGTERM, so it closes its browsers) and finally kills it. Reaps it.
  asio::awaitable<void> wait_for_exit(asio::any_io_executor executor, std::chrono::milliseconds grace) override;

 private:
  // Reaps the driver if it has exited; answers whether it is reaped.
  bool try_reap();
  // Waits up to `timeout` for the exit; answers whether it exited.
  asio::awaitable<bool> await_exit(asio::any_io_executor executor, std::chrono::milliseconds timeout);
  bool block_until_exit(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int pidfd_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  int stderr_fd_ = -1;
  bool reaped_ = false;
};

}  // namespace playwright::detail
