// run_sync: the synchronous twin of an asynchronous operation.
//
// Makes a fresh io_context, spawns the awaitable on it, runs the loop to
// completion and returns the result; a failure of the awaitable is rethrown
// unchanged.
#pragma once

#include <exception>
#include <optional>
#include <type_traits>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

namespace ravik {

// Runs `make_operation(io_context&)` -- a callable returning asio::awaitable<T>
// -- on a private event loop and returns its result.
template <typename MakeOperation>
auto run_sync(MakeOperation&& make_operation) {
  using Awaitable = std::invoke_result_t<MakeOperation&, asio::io_context&>;
  using T = typename Awaitable::value_type;
  asio::io_context loop;
  std::exception_ptr failure;
  if constexpr (std::is_void_v<T>) {
    asio::co_spawn(loop, make_operation(loop), [&](std::exception_ptr e) { failure = e; });
    loop.run();
    if (failure) std::rethrow_exception(failure);
  } else {
    std::optional<T> result;
    asio::co_spawn(loop, make_operation(loop), [&](std::exception_ptr e, T value) {
      failure = e;
      if (!e) result.emplace(std::move(value));
    });
    loop.run();
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
  }
}

}  // namespace ravik
