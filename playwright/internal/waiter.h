// Waiter: lets one coroutine sleep until another part of the client wakes it
// (a reply arrived, a load state was reached, the connection closed) or a
// deadline passes. For an io_context run on one thread.
#pragma once

#include <chrono>
#include <optional>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

namespace playwright::detail {

class Waiter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Waiter(const asio::any_io_executor& executor);

  // Suspends until notify() was called (also before this call) or until
  // `deadline`, if any. Answers whether it was notified.
  asio::awaitable<bool> wait(std::optional<Clock::time_point> deadline = std::nullopt);
  void notify();
  // Forgets an earlier notify(), for waiting again.
  void reset() { notified_ = false; }

 private:
  asio::steady_timer timer_;
  bool notified_ = false;
};

// The deadline for `timeout`, where zero (or less) means none.
std::optional<Waiter::Clock::time_point> deadline_after(std::chrono::milliseconds timeout);

}  // namespace playwright::detail
