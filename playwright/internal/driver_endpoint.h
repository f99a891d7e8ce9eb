// DriverEndpoint: the Playwright driver as the Connection sees it: the
// client's ends of its three standard streams, and a way to await its end.
//
// DriverProcess is the real one; tests put a stand-in behind it that plays
// the driver over pipes.
#pragma once

#include <chrono>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

namespace playwright::detail {

class DriverEndpoint {
 public:
  virtual ~DriverEndpoint() = default;

  // The client's ends of the driver's standard streams: a socket for its
  // input, readable descriptors for its output and its error output.
  // Ownership passes to the caller; each may be taken once (later calls
  // answer -1).
  virtual int take_stdin() = 0;
  virtual int take_stdout() = 0;
  virtual int take_stderr() = 0;

  // Awaits the driver's end after its input was closed, for at most about
  // `grace` before it is made to end.
  virtual asio::awaitable<void> wait_for_exit(asio::any_io_executor executor, std::chrono::milliseconds grace) = 0;
};

}  // namespace playwright::detail
