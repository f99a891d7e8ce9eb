#include "playwright/fake_driver.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <stdexcept>

#include <asio/read.hpp>
#include <asio/use_awaitable.hpp>

namespace playwright::testing {

namespace {

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written <= 0) throw std::runtime_error("the fake driver cannot write");
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// The client's ends of the pipes; the driver "exits" at once when asked.
class PipeEndpoint : public detail::DriverEndpoint {
 public:
  PipeEndpoint(int stdin_fd, int stdout_fd, int stderr_fd)
      : stdin_fd_(stdin_fd), stdout_fd_(stdout_fd), stderr_fd_(stderr_fd) {}
  ~PipeEndpoint() override {
    close_fd(stdin_fd_);
    close_fd(stdout_fd_);
    close_fd(stderr_fd_);
  }
  int take_stdin() override { return std::exchange(stdin_fd_, -1); }
  int take_stdout() override { return std::exchange(stdout_fd_, -1); }
  int take_stderr() override { return std::exchange(stderr_fd_, -1); }
  asio::awaitable<void> wait_for_exit(asio::any_io_executor, std::chrono::milliseconds) override { co_return; }

 private:
  int stdin_fd_;
  int stdout_fd_;
  int stderr_fd_;
};

}  // namespace

std::string frame(std::string_view body) {
  const auto size = static_cast<std::uint32_t>(body.size());
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((size >> shift) & 0xFF));
  bytes += body;
  return bytes;
}

FakeDriver::FakeDriver(const asio::any_io_executor& executor) : input_(executor) {
  int stdin_pair[2];
  int stdout_pipe[2];
  int stderr_pipe[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stdin_pair) != 0 || ::pipe2(stdout_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(stderr_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("the fake driver cannot make its pipes");
  }
  input_.assign(asio::local::stream_protocol(), stdin_pair[0]);
  stdout_fd_ = stdout_pipe[1];
  stderr_fd_ = stderr_pipe[1];
  endpoint_ = std::make_unique<PipeEndpoint>(stdin_pair[1], stdout_pipe[0], stderr_pipe[0]);
}

FakeDriver::~FakeDriver() {
  close_fd(stdout_fd_);
  close_fd(stderr_fd_);
}

std::unique_ptr<detail::DriverEndpoint> FakeDriver::endpoint() { return std::move(endpoint_); }

void FakeDriver::send(const nlohmann::json& message) { send_raw(frame(message.dump())); }
void FakeDriver::send_raw(std::string_view bytes) { write_all(stdout_fd_, bytes); }
void FakeDriver::write_stderr(std::string_view text) { write_all(stderr_fd_, text); }
void FakeDriver::close_stdout() { close_fd(stdout_fd_); }
void FakeDriver::close_stderr() { close_fd(stderr_fd_); }

void FakeDriver::send_handshake() {
  send({{"guid", ""},
        {"method", "__create__"},
        {"params", {{"type", "Playwright"}, {"guid", "Playwright"}, {"initializer", nlohmann::json::object()}}}});
  send({{"id", 1}, {"result", {{"playwright", {{"guid", "Playwright"}}}}}});
}

asio::awaitable<nlohmann::json> FakeDriver::receive() {
  std::array<unsigned char, 4> header{};
  co_await asio::async_read(input_, asio::buffer(header), asio::use_awaitable);
  const std::uint32_t size = static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
                             static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
  std::string body(size, '\0');
  co_await asio::async_read(input_, asio::buffer(body), asio::use_awaitable);
  co_return nlohmann::json::parse(body);
}

}  // namespace playwright::testing
