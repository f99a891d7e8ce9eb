#include "playwright/internal/waiter.h"

#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

namespace playwright::detail {

Waiter::Waiter(const asio::any_io_executor& executor) : timer_(executor) {}

asio::awaitable<bool> Waiter::wait(std::optional<Clock::time_point> deadline) {
  if (notified_) co_return true;
  timer_.expires_at(deadline.value_or(Clock::time_point::max()));
  asio::error_code ignored;
  co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  co_return notified_;
}

void Waiter::notify() {
  notified_ = true;
  timer_.cancel();
}

std::optional<Waiter::Clock::time_point> deadline_after(std::chrono::milliseconds timeout) {
  if (timeout <= std::chrono::milliseconds::zero()) return std::nullopt;
  return Waiter::Clock::now() + timeout;
}

}  // namespace playwright::detail
