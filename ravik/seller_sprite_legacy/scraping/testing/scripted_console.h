// A console that a test drives in place of the terminal: it records every
// prompt the collector shows, answers each prompt with a line the test typed
// (ahead of time or while the prompt waits), and ends its input when the test
// says so. Pass it to the collector through ScraperSettings::console.
//
// Thread safety: every member may be called from any thread; the waits
// assume that the loop they run on is run by one thread.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"

namespace ravik::seller_sprite_legacy::scraping::testing {

class ScriptedConsole : public Console {
 public:
  // Adds `text` to the input; a prompt takes the input up to and including
  // its first line end.
  void type(std::string_view text);
  // Ends the input: a prompt that finds no complete line left fails with
  // ConsoleInputClosedError.
  void end_input();
  // Every prompt shown so far, one after another.
  std::string output() const;
  // Completes once a prompt was shown, or after a minute, without blocking
  // the calling coroutine's event loop.
  asio::awaitable<void> prompt_shown();

  // Records `prompt`, then waits (without blocking the loop) until the input
  // holds a line, which it takes, or has ended.
  asio::awaitable<void> prompt_and_wait_for_enter(std::string prompt) override;

 private:
  using Ready = bool (ScriptedConsole::*)() const;
  bool prompted_locked() const { return !output_.empty(); }
  bool answerable_locked() const { return input_ended_ || input_.find('\n') != std::string::npos; }

  // Completes once (this->*ready)() holds, checked under the lock at the
  // start and after every change, or once `deadline` has passed.
  asio::awaitable<void> wait_until(Ready ready, std::chrono::steady_clock::time_point deadline);
  // Wakes every wait_until so that it checks again.
  void notify_locked();

  mutable std::mutex mutex_;  // guards the fields below
  std::string output_;
  std::string input_;
  bool input_ended_ = false;
  std::vector<std::shared_ptr<asio::steady_timer>> waiting_;
};

}  // namespace ravik::seller_sprite_legacy::scraping::testing
