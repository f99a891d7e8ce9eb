// The host's interrupt against a real driver and browser. A program of its
// own: interrupt_all() reaches every connection of the process, so it must
// not share one with the other browser tests.
#include <fstream>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "playwright/browser_test_support.h"
#include "ravik/run_sync.h"

namespace playwright {
namespace {

using std::chrono::milliseconds;

TEST(InterruptTest, AWaitingCallFailsAtOnceAndTheContextStillClosesInOrder) {
  const testing::TempDir dir;
  const std::string profile = (dir.path() / "profile").string();
  const LaunchPersistentContextOptions options = testing::launch_options(profile);
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    Page page = context.pages().front();

    // The host's signal handler, while a wait that would never end runs.
    asio::steady_timer signal_soon(co_await asio::this_coro::executor, milliseconds(200));
    signal_soon.async_wait([](const asio::error_code& ec) {
      if (!ec) interrupt_all("已中断");
    });
    const WaitForOptions forever{.timeout = milliseconds(0)};
    try {
      co_await page.locator("#never").wait_for(forever);
      ADD_FAILURE() << "the wait ended without an error";
    } catch (const InterruptedError& e) {
      EXPECT_EQ(std::string(e.what()), "Locator.wait_for: 已中断");
    }
    EXPECT_THROW(co_await page.locator("p").count(), InterruptedError);

    co_await context.close();
    co_await pw.stop();
  });
  EXPECT_TRUE(testing::wait_until_gone(testing::processes_with_argument("--user-data-dir=" + profile),
                                       milliseconds(30000)));
  // Chromium shut down in order: it marks a profile "Crashed" while it runs.
  std::ifstream preferences(dir.path() / "profile" / "Default" / "Preferences");
  const nlohmann::json saved = nlohmann::json::parse(preferences, nullptr, /*allow_exceptions=*/false);
  const nlohmann::json::json_pointer exit_type("/profile/exit_type");
  EXPECT_EQ(saved.is_object() ? saved.value(exit_type, "") : "", "Normal");
}

}  // namespace
}  // namespace playwright
