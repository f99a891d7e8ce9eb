// Helpers of the browser tests: a shared event loop with one driver and one
// persistent context for the tests that only need a page, a runner for
// coroutines on that loop, a loopback server with the routes the tests share,
// and process inspection for the lifecycle tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "playwright/playwright.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"

namespace playwright::testing {

asio::io_context& shared_loop();

// Runs the coroutine that `make_operation()` returns on the shared loop
// until it completes; rethrows its failure. The loop keeps its other work
// (the shared driver's reader) for the next call.
template <typename MakeOperation>
auto run(MakeOperation&& make_operation) {
  using T = typename std::invoke_result_t<MakeOperation&>::value_type;
  asio::io_context& loop = shared_loop();
  std::exception_ptr failure;
  bool done = false;
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
  auto operation = [&]() -> asio::awaitable<void> {
    if constexpr (std::is_void_v<T>) {
      co_await make_operation();
    } else {
      result.emplace(co_await make_operation());
    }
  };
  asio::co_spawn(loop, operation(), [&](std::exception_ptr e) {
    failure = e;
    done = true;
  });
  while (!done) {
    if (loop.stopped()) loop.restart();
    loop.run_one();
  }
  if (failure) std::rethrow_exception(failure);
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

// A fresh page in the suite's shared browser (started on first use, closed
// after the last test).
Page new_shared_page();

using ravik::test_support::TempDir;

// The loopback server of the browser tests, serving besides what page() and
// json() add:
//   /page/plain     a plain page
//   /hold           answers only after release_held() or 30 s
//   /redirect       302 to /page/plain
//   /set-cookie     sets the persistent cookie "visit=1"
//   /echo-cookie    a page showing the Cookie header in <p id="cookie">
class TestServer : public ravik::test_support::LoopbackServer {
 public:
  TestServer();
};

// Launch options for a headless Chromium on `profile`, as the collector uses
// them.
LaunchPersistentContextOptions launch_options(const std::string& profile);

// Processes whose command line contains `needle`, other than this one.
std::vector<pid_t> processes_with_argument(const std::string& needle);
// Children of `parent` running the Playwright driver.
std::vector<pid_t> driver_processes_of(pid_t parent);
// Waits (without polling) until every process in `pids` has exited;
// answers false if one is still running after `timeout`.
bool wait_until_gone(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout);

}  // namespace playwright::testing
