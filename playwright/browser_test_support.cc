#include "playwright/browser_test_support.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "tests/support/proc_file.h"

namespace playwright::testing {

namespace {

namespace fs = std::filesystem;

struct SharedBrowser {
  Playwright playwright;
  BrowserContext context;
  std::unique_ptr<TempDir> profile_dir;
};

std::unique_ptr<SharedBrowser>& shared_browser_slot() {
  static std::unique_ptr<SharedBrowser> browser;
  return browser;
}

SharedBrowser& shared_browser() {
  auto& slot = shared_browser_slot();
  if (!slot) {
    auto profile_dir = std::make_unique<TempDir>();
    const std::string profile = (profile_dir->path() / "profile").string();
    slot = run([&]() -> asio::awaitable<std::unique_ptr<SharedBrowser>> {
      Playwright pw = co_await async_playwright().start();
      const LaunchPersistentContextOptions options = launch_options(profile);
      BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
      co_return std::make_unique<SharedBrowser>(SharedBrowser{std::move(pw), std::move(context), nullptr});
    });
    slot->profile_dir = std::move(profile_dir);
  }
  return *slot;
}

// Closes the shared browser after the last test.
class SharedBrowserEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    auto& slot = shared_browser_slot();
    if (!slot) return;
    run([&]() -> asio::awaitable<void> {
      co_await slot->context.close();
      co_await slot->playwright.stop();
    });
    slot.reset();
  }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedBrowserEnvironment);

pid_t parent_of(pid_t pid) {
  // /proc/<pid>/stat: "pid (comm) state ppid ..."; comm may hold spaces.
  const std::string stat = ravik::test_support::read_proc_file("/proc/" + std::to_string(pid) + "/stat");
  const auto end_of_comm = stat.rfind(')');
  if (end_of_comm == std::string::npos) return -1;
  char state = 0;
  int ppid = -1;
  if (std::sscanf(stat.c_str() + end_of_comm + 1, " %c %d", &state, &ppid) != 2 || state == 'Z') return -1;
  return ppid;
}

}  // namespace

asio::io_context& shared_loop() {
  static asio::io_context loop;
  return loop;
}

Page new_shared_page() {
  SharedBrowser& browser = shared_browser();
  return run([&]() -> asio::awaitable<Page> { co_return co_await browser.context.new_page(); });
}

TestServer::TestServer() {
  page("/page/plain", "<p>plain</p>");
  hold("/hold");
  route("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page/plain"); });
  route("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "visit=1; Max-Age=86400; Path=/");
    res.set_content(ravik::test_support::html_document("<p>cookie set</p>"), "text/html; charset=utf-8");
  });
  route("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(ravik::test_support::html_document("<p id=\"cookie\">" + req.get_header_value("Cookie") + "</p>"),
                    "text/html; charset=utf-8");
  });
}

LaunchPersistentContextOptions launch_options(const std::string& profile) {
  return {.user_data_dir = profile,
          .headless = true,
          .channel = "chromium",
          .viewport = ViewportSize{.width = 1440, .height = 900},
          .locale = "zh-CN"};
}

std::vector<pid_t> processes_with_argument(const std::string& needle) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (pid == ::getpid() || parent_of(pid) < 0) continue;  // gone or a zombie
    std::string cmdline = ravik::test_support::read_proc_file(entry.path() / "cmdline");
    std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
    if (cmdline.find(needle) != std::string::npos) found.push_back(pid);
  }
  return found;
}

std::vector<pid_t> driver_processes_of(pid_t parent) {
  std::vector<pid_t> drivers;
  for (pid_t pid : processes_with_argument("run-driver")) {
    if (parent_of(pid) == parent) drivers.push_back(pid);
  }
  return drivers;
}

bool wait_until_gone(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (pid_t pid : pids) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) continue;  // already gone
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd entry{pidfd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    ::close(pidfd);
    if (ready <= 0) return false;
  }
  return true;
}

}  // namespace playwright::testing
