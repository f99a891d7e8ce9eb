// Driver and browser lifecycle: persistent profiles, the pages of a context,
// and that no driver or Chromium process outlives the client, however it ends.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "playwright/browser_test_support.h"
#include "ravik/run_sync.h"

namespace playwright {
namespace {

using std::chrono::milliseconds;
using testing::driver_processes_of;
using testing::processes_with_argument;
using testing::wait_until_gone;

constexpr milliseconds kExitWait{30000};

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LifecycleTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  std::filesystem::path profile = dir.path() / "profile";
  std::string profile_text = profile.string();
  LaunchPersistentContextOptions options = testing::launch_options(profile_text);
  testing::TestServer server;

  std::vector<pid_t> chromium_processes() const { return processes_with_argument("--user-data-dir=" + profile_text); }
  // Drivers this process started since the test began (the suite's shared
  // driver may be running too).
  std::vector<pid_t> new_drivers() const {
    std::vector<pid_t> drivers = driver_processes_of(::getpid());
    std::erase_if(drivers, [&](pid_t pid) { return std::find(old_drivers.begin(), old_drivers.end(), pid) != old_drivers.end(); });
    return drivers;
  }

  const std::vector<pid_t> old_drivers = driver_processes_of(::getpid());
};

TEST_F(LifecycleTest, ProfileKeepsACookieAcrossLaunches) {
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    EXPECT_FALSE(context.pages().empty());
    Page page = context.pages().front();
    co_await page.goto_(server.url("/set-cookie"));
    co_await context.close();
    co_await pw.stop();
  });
  const std::string cookie = ravik::run_sync([&](asio::io_context&) -> asio::awaitable<std::string> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    Page page = context.pages().front();
    co_await page.goto_(server.url("/echo-cookie"));
    std::string text = co_await page.locator("#cookie").inner_text();
    co_await context.close();
    co_await pw.stop();
    co_return text;
  });
  EXPECT_EQ(cookie, "visit=1");
}

TEST_F(LifecycleTest, FirstPageOrNewPageAndNoProcessLeftAfterClose) {
  pid_t driver = -1;
  std::vector<pid_t> browser;
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    const auto drivers = new_drivers();
    EXPECT_EQ(drivers.size(), 1u);
    if (!drivers.empty()) driver = drivers.front();
    browser = chromium_processes();
    EXPECT_FALSE(browser.empty());

    const std::vector<Page> initial = context.pages();
    EXPECT_EQ(initial.size(), 1u);  // the persistent context opens one blank page
    Page second = co_await context.new_page();
    const std::vector<Page> now = context.pages();
    EXPECT_EQ(now.size(), initial.size() + 1);
    EXPECT_TRUE(now.back() == second);
    EXPECT_TRUE(now.front() == initial.front());

    co_await context.close();
    co_await pw.stop();
  });
  EXPECT_TRUE(wait_until_gone({driver}, milliseconds(0)));  // stop() reaped it
  EXPECT_TRUE(wait_until_gone(browser, kExitWait));
  EXPECT_TRUE(chromium_processes().empty());
}

TEST_F(LifecycleTest, FailedFlowAndDroppedHandleLeaveNoProcess) {
  // A flow fails; the context is closed and the driver stopped after it.
  EXPECT_THROW(ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
                 Playwright pw = co_await async_playwright().start();
                 BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
                 std::exception_ptr failure;
                 try {
                   co_await context.pages().front().locator("#never").click({.timeout = milliseconds(200)});
                 } catch (...) {
                   failure = std::current_exception();
                 }
                 co_await context.close();
                 co_await pw.stop();
                 std::rethrow_exception(failure);
               }),
               TimeoutError);
  EXPECT_TRUE(wait_until_gone(chromium_processes(), kExitWait));

  // A flow that drops the driver handle without stop() (as a failed enter
  // may): the driver and its browser still end.
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    co_await pw.chromium.launch_persistent_context(options);
  });
  EXPECT_TRUE(new_drivers().empty());
  EXPECT_TRUE(wait_until_gone(chromium_processes(), kExitWait));
}

TEST_F(LifecycleTest, DriverDyingMidCallFailsThePendingCallAndLaterCallsFail) {
  server.page("/page", "<p>页</p>");
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    Page page = context.pages().front();
    co_await page.goto_(server.url("/page"));
    const auto drivers = new_drivers();
    EXPECT_EQ(drivers.size(), 1u);

    // Kill the driver while a call that would never end is pending.
    const WaitForOptions forever{.timeout = milliseconds(0)};
    asio::steady_timer kill_soon(co_await asio::this_coro::executor, milliseconds(200));
    kill_soon.async_wait([&](const asio::error_code&) {
      for (pid_t pid : drivers) ::kill(pid, SIGKILL);
    });
    try {
      co_await page.locator("#never").wait_for(forever);
      ADD_FAILURE() << "the pending call ended without an error";
    } catch (const TimeoutError&) {
      ADD_FAILURE() << "reported as a time-out";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Locator.wait_for: the Playwright driver exited unexpectedly", 0), 0u)
          << e.what();
    }
    EXPECT_THROW(co_await page.locator("p").count(), Error);
    co_await pw.stop();
    EXPECT_THROW(co_await context.new_page(), Error);
  });
  EXPECT_TRUE(wait_until_gone(chromium_processes(), kExitWait));
}

TEST_F(LifecycleTest, TheAccountReachesNeitherTheDriverNorAnyBrowserProcess) {
  ::setenv("RAVIK_SELLERSPRITE_USERNAME", "seller@example.invalid", 1);
  ::setenv("RAVIK_SELLERSPRITE_PASSWORD", "secret-password", 1);
  std::vector<pid_t> processes;
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    co_await context.pages().front().goto_(server.url("/set-cookie"));  // renderers and the network service run
    processes = new_drivers();
    EXPECT_EQ(processes.size(), 1u);
    const std::vector<pid_t> browser = chromium_processes();
    EXPECT_GE(browser.size(), 2u);
    processes.insert(processes.end(), browser.begin(), browser.end());
    for (pid_t pid : processes) {
      SCOPED_TRACE("process " + std::to_string(pid));
      const std::string environ = read_text("/proc/" + std::to_string(pid) + "/environ");
      EXPECT_FALSE(environ.empty());  // readable
      EXPECT_EQ(environ.find("RAVIK_SELLERSPRITE"), std::string::npos);
      EXPECT_EQ(environ.find("secret-password"), std::string::npos);
    }
    co_await context.close();
    co_await pw.stop();
  });
  ::unsetenv("RAVIK_SELLERSPRITE_USERNAME");
  ::unsetenv("RAVIK_SELLERSPRITE_PASSWORD");
  EXPECT_TRUE(wait_until_gone(processes, kExitWait));
}

// A host process killed with SIGKILL leaves neither driver nor browser, and
// the profile opens again.
TEST_F(LifecycleTest, KilledClientLeavesNoProcessAndTheProfileOpensAgain) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    try {
      ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
        Playwright pw = co_await async_playwright().start();
        co_await pw.chromium.launch_persistent_context(options);
        const char launched = 'L';
        if (::write(ready[1], &launched, 1) != 1) std::_Exit(2);
        ::pause();  // until killed
      });
    } catch (...) {
    }
    std::_Exit(1);
  }
  ::close(ready[1]);
  char launched = 0;
  ASSERT_EQ(::read(ready[0], &launched, 1), 1);
  ::close(ready[0]);
  const std::vector<pid_t> drivers = driver_processes_of(child);
  const std::vector<pid_t> browser = chromium_processes();
  EXPECT_EQ(drivers.size(), 1u);
  EXPECT_FALSE(browser.empty());

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(wait_until_gone(drivers, kExitWait));
  EXPECT_TRUE(wait_until_gone(browser, kExitWait));

  const int pages = ravik::run_sync([&](asio::io_context&) -> asio::awaitable<int> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    const int count = static_cast<int>(context.pages().size());
    co_await context.close();
    co_await pw.stop();
    co_return count;
  });
  EXPECT_EQ(pages, 1);
}

TEST(DriverStartTest, AMissingOrBrokenDriverIsReportedBeforeAnythingRuns) {
  const testing::TempDir temp;
  const std::filesystem::path& dir = temp.path();
  {
    std::ofstream(dir / "package.json") << R"({"name": "playwright-core", "version": ")" RAVIK_TEST_PINNED_VERSION R"("})";
    std::ofstream(dir / "cli.js") << "process.stderr.write('driver broke'); process.exit(3);\n";
  }
  ::setenv("RAVIK_PLAYWRIGHT_CORE_DIR", dir.c_str(), 1);
  try {
    ravik::run_sync([](asio::io_context&) -> asio::awaitable<void> { co_await async_playwright().start(); });
    ADD_FAILURE() << "a driver that exits at once was taken for started";
  } catch (const DriverNotInstalledError&) {
    ADD_FAILURE() << "reported as not installed";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("the Playwright driver exited unexpectedly"), std::string::npos) << e.what();
  }
  ::unsetenv("RAVIK_PLAYWRIGHT_CORE_DIR");
}

}  // namespace
}  // namespace playwright
