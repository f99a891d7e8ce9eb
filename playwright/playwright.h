// Entry point of the Playwright client: async_playwright().start() starts
// the driver process and answers the driver handle.
//
//   auto pw = co_await playwright::async_playwright().start();
//   auto context = co_await pw.chromium.launch_persistent_context({...});
//   ...
//   co_await context.close();
//   co_await pw.stop();
//
// Everything runs on the io_context of the coroutine that calls start().
#pragma once

#include <memory>
#include <string>

#include <asio/awaitable.hpp>

#include "playwright/browser_type.h"
#include "playwright/driver_location.h"
#include "playwright/error.h"
#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class Connection;
}

// The started driver.
class RAVIK_PLAYWRIGHT_EXPORT Playwright {
 public:
  Playwright(std::shared_ptr<detail::Connection> connection, BrowserType chromium);

  BrowserType chromium;

  // Closes the driver's input and waits for it to exit (it closes its
  // browsers itself), killing it after a grace period; the process is reaped.
  asio::awaitable<void> stop();

 private:
  std::shared_ptr<detail::Connection> connection_;
};

class RAVIK_PLAYWRIGHT_EXPORT PlaywrightStarter {
 public:
  // Locates and starts the driver on the calling coroutine's executor.
  asio::awaitable<Playwright> start();
};

[[nodiscard]] RAVIK_PLAYWRIGHT_EXPORT PlaywrightStarter async_playwright();

// Interrupts every driver connection of this process that is still alive
// (for a host's Ctrl-C). Every call still waiting for the driver fails at
// once with InterruptedError carrying `reason`, and so does every later call,
// except those that close something (BrowserContext.close), which still go
// to the driver so that the caller's cleanup closes the browser in order;
// Playwright::stop() keeps working. The driver runs on.
//
// Call it on the thread that runs the connections' io_context, e.g. from an
// asio::signal_set handler on that loop; connections are not shared across
// threads.
RAVIK_PLAYWRIGHT_EXPORT void interrupt_all(std::string reason);

}  // namespace playwright
