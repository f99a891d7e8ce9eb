// FakeDriver: plays the Playwright driver for connection tests. The client
// gets pipes where the driver's standard streams would be; the test writes
// what the driver would say (well-formed or not) and reads what the client
// sends.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/local/stream_protocol.hpp>
#include <nlohmann/json.hpp>

#include "playwright/internal/driver_endpoint.h"

namespace playwright::testing {

class FakeDriver {
 public:
  explicit FakeDriver(const asio::any_io_executor& executor);
  ~FakeDriver();
  FakeDriver(const FakeDriver&) = delete;
  FakeDriver& operator=(const FakeDriver&) = delete;

  // What Connection::start takes; may be taken once.
  std::unique_ptr<detail::DriverEndpoint> endpoint();

  // Writes `message` as one frame on the driver's standard output.
  void send(const nlohmann::json& message);
  // Writes `bytes` as they are on the driver's standard output.
  void send_raw(std::string_view bytes);
  void write_stderr(std::string_view text);
  void close_stdout();
  void close_stderr();

  // What "initialize" needs: the Playwright object, and the answer to the
  // client's first call.
  void send_handshake();
  // The next message the client sent.
  asio::awaitable<nlohmann::json> receive();

 private:
  int stdout_fd_ = -1;  // the driver's side of each stream
  int stderr_fd_ = -1;
  asio::local::stream_protocol::socket input_;
  std::unique_ptr<detail::DriverEndpoint> endpoint_;
};

// A frame as the driver writes it: length (4 bytes, little-endian) + body.
std::string frame(std::string_view body);

}  // namespace playwright::testing
