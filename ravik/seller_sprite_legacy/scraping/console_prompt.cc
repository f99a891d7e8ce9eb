#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"

#include <exception>
#include <thread>
#include <utility>

#include <asio/async_result.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

namespace ravik::seller_sprite_legacy::scraping {

Console::~Console() = default;

asio::awaitable<void> BlockingConsole::prompt_and_wait_for_enter(std::string prompt) {
  std::thread reader;
  auto start_reader = [this, &reader, &prompt](auto handler) {
    auto work = asio::make_work_guard(asio::get_associated_executor(handler));
    reader = std::thread([this, &prompt, handler = std::move(handler), work = std::move(work)]() mutable {
      std::exception_ptr failure;
      try {
        show_prompt_and_read_line(prompt);
      } catch (...) {
        failure = std::current_exception();
      }
      auto executor = work.get_executor();
      asio::post(executor, [handler = std::move(handler), failure]() mutable { std::move(handler)(failure); });
      work.reset();
    });
  };
  // The coroutine stays suspended (and `prompt` alive) until the reader posts its answer.
  std::exception_ptr failure;
  try {
    co_await asio::async_initiate<decltype(asio::use_awaitable), void(std::exception_ptr)>(start_reader,
                                                                                          asio::use_awaitable);
  } catch (...) {
    failure = std::current_exception();
  }
  reader.join();
  if (failure) std::rethrow_exception(failure);
}

void TerminalConsole::show_prompt_and_read_line(const std::string& prompt) {
  out_ << prompt << std::flush;
  std::string line;
  if (!std::getline(in_, line)) throw ConsoleInputClosedError();
}

}  // namespace ravik::seller_sprite_legacy::scraping
