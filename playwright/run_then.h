// Cleanup by composition for coroutines: run a step, then its cleanup on
// every way out, and pass on the first failure.
//
//   Json result = co_await run_then([&] { return flow(page); },
//                                   [&] { return page_context.exit(); });
//
// The step and the cleanup are callables, invoked inside the helper's own
// coroutine frame, so that a lambda's captures live as long as the coroutine
// it starts. A cleanup may answer asio::awaitable<void> or nothing. Header
// only, so that both the Playwright client and its users compile it in.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include <asio/awaitable.hpp>

namespace playwright {

namespace detail {

template <typename>
struct awaitable_value;
template <typename T, typename Executor>
struct awaitable_value<asio::awaitable<T, Executor>> {
  using type = T;
};

// How a step ended: its value (nothing for a void step) or its failure.
template <typename T>
struct Outcome {
  std::optional<std::conditional_t<std::is_void_v<T>, std::monostate, T>> value;
  std::exception_ptr failure;

  // The value, or the failure rethrown.
  T take() {
    if (failure) std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<T>) return std::move(*value);
  }
};

// Awaits `body()` and answers how it ended; never throws the body's failure.
template <typename Body, typename T = typename awaitable_value<std::invoke_result_t<Body&>>::type>
asio::awaitable<Outcome<T>> attempt(Body& body) {
  Outcome<T> outcome;
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::invoke(body);
      outcome.value.emplace();
    } else {
      outcome.value.emplace(co_await std::invoke(body));
    }
  } catch (...) {
    outcome.failure = std::current_exception();
  }
  co_return outcome;
}

// Runs `cleanup`, awaiting it when it answers an awaitable.
template <typename Cleanup>
asio::awaitable<void> run_cleanup(Cleanup& cleanup) {
  if constexpr (std::is_void_v<std::invoke_result_t<Cleanup&>>) {
    std::invoke(cleanup);
  } else {
    co_await std::invoke(cleanup);
  }
}

}  // namespace detail

// Awaits `body()`, then `cleanup()` whether the body succeeded or failed.
// Answers the body's result. Rethrows the body's failure when there is one
// (a failure of the cleanup is then dropped), else the cleanup's.
template <typename Body, typename Cleanup>
[[nodiscard]] std::invoke_result_t<Body&> run_then(Body body, Cleanup cleanup) {
  auto outcome = co_await detail::attempt(body);
  try {
    co_await detail::run_cleanup(cleanup);
  } catch (...) {
    if (!outcome.failure) outcome.failure = std::current_exception();
  }
  co_return outcome.take();
}

// Awaits `body()`; only when it fails, awaits `undo()` and rethrows the
// body's failure (a failure of `undo` is dropped). Answers the body's result.
template <typename Body, typename Undo>
[[nodiscard]] std::invoke_result_t<Body&> undo_on_failure(Body body, Undo undo) {
  auto outcome = co_await detail::attempt(body);
  if (outcome.failure) {
    try {
      co_await detail::run_cleanup(undo);
    } catch (...) {
    }
  }
  co_return outcome.take();
}

}  // namespace playwright
