#include "ravik/seller_sprite_legacy/scraping/testing/scripted_console.h"

#include <system_error>

#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace ravik::seller_sprite_legacy::scraping::testing {

void ScriptedConsole::type(std::string_view text) {
  const std::lock_guard lock(mutex_);
  input_.append(text);
  notify_locked();
}

void ScriptedConsole::end_input() {
  const std::lock_guard lock(mutex_);
  input_ended_ = true;
  notify_locked();
}

std::string ScriptedConsole::output() const {
  const std::lock_guard lock(mutex_);
  return output_;
}

asio::awaitable<void> ScriptedConsole::prompt_shown() {
  // Gives up after a minute, so that a flow that never prompts fails instead of hanging.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  co_await wait_until(&ScriptedConsole::prompted_locked, deadline);
}

asio::awaitable<void> ScriptedConsole::prompt_and_wait_for_enter(std::string prompt) {
  {
    const std::lock_guard lock(mutex_);
    output_ += prompt;
    notify_locked();
  }
  co_await wait_until(&ScriptedConsole::answerable_locked, std::chrono::steady_clock::time_point::max());
  const std::lock_guard lock(mutex_);
  const std::size_t line_end = input_.find('\n');
  if (line_end == std::string::npos) throw ConsoleInputClosedError();
  input_.erase(0, line_end + 1);
}

asio::awaitable<void> ScriptedConsole::wait_until(Ready ready, std::chrono::steady_clock::time_point deadline) {
  const auto executor = co_await asio::this_coro::executor;
  for (;;) {
    const auto wake_up = std::make_shared<asio::steady_timer>(executor, deadline);
    {
      const std::lock_guard lock(mutex_);
      if ((this->*ready)()) co_return;
      waiting_.push_back(wake_up);
    }
    // A wake-up is posted to this loop, so it cannot come before the wait
    // below has begun.
    std::error_code cancelled;
    co_await wake_up->async_wait(asio::redirect_error(asio::use_awaitable, cancelled));
    if (!cancelled) co_return;  // the deadline passed
  }
}

void ScriptedConsole::notify_locked() {
  // Each posted wake-up holds its timer, which may outlive its waiter.
  for (const std::shared_ptr<asio::steady_timer>& timer : waiting_) {
    asio::post(timer->get_executor(), [timer] { timer->cancel(); });
  }
  waiting_.clear();
}

}  // namespace ravik::seller_sprite_legacy::scraping::testing
