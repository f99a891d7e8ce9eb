#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "ravik/run_sync.h"
#include "tests/support/proc_file.h"

namespace ravik::seller_sprite_legacy::scraping::testing {
namespace {

constexpr int kProcessExitWaitMs = 10000;

const std::filesystem::path& temp_root() {
  static const std::filesystem::path root = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "ravik-collector-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return std::filesystem::path(pattern);
  }();
  return root;
}

standin::Site* g_site = nullptr;

// Stops the stand-in and removes the temporary tree when the test program ends.
class TempRootCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_site != nullptr) g_site->stop();
    std::error_code ignored;
    std::filesystem::remove_all(temp_root(), ignored);
  }
};
[[maybe_unused]] ::testing::Environment* const kCleanup = ::testing::AddGlobalTestEnvironment(new TempRootCleanup);

struct ProcessInfo {
  int pid;
  char state;
};

// Children of this process and processes whose command line names temp_root().
std::vector<ProcessInfo> browser_processes() {
  std::vector<ProcessInfo> found;
  const std::string marker = temp_root().string();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const int pid = std::stoi(name);
    if (pid == ::getpid()) continue;
    const std::string stat = ravik::test_support::read_proc_file(entry.path() / "stat");
    const auto after_name = stat.rfind(')');
    if (after_name == std::string::npos || after_name + 4 > stat.size()) continue;
    const char state = stat[after_name + 2];
    const int parent = std::atoi(stat.c_str() + stat.find(' ', after_name + 3) + 1);
    const bool named = ravik::test_support::read_proc_file(entry.path() / "cmdline").find(marker) != std::string::npos;
    if (parent == ::getpid() || named) found.push_back({pid, state});
  }
  return found;
}

// Waits up to kProcessExitWaitMs for `pid` to exit; true when it did.
bool wait_for_exit(int pid) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return true;  // already gone
  pollfd watch{.fd = pidfd, .events = POLLIN, .revents = 0};
  const bool exited = ::poll(&watch, 1, kProcessExitWaitMs) == 1;
  ::close(pidfd);
  return exited;
}

// `console`, or a console whose input has ended.
std::shared_ptr<Console> console_or_closed(std::shared_ptr<Console> console) {
  if (console) return console;
  auto closed = std::make_shared<ScriptedConsole>();
  closed->end_input();
  return closed;
}

}  // namespace

standin::Site& site() {
  if (g_site == nullptr) {
    static standin::Site stand_in;
    const std::string origin = stand_in.start();
    ::setenv("RAVIK_SELLERSPRITE_ORIGIN", origin.c_str(), 1);
    ::setenv("RAVIK_CONFIG_DIR", (temp_root() / "config").c_str(), 1);
    g_site = &stand_in;
  }
  return *g_site;
}

Json demo_account() {
  return Json{{"username", std::string(standin::kDemoUsername)}, {"password", std::string(standin::kDemoPassword)}};
}

SellerSpriteScraper headless_scraper(std::shared_ptr<Console> console, ProgressObserver progress) {
  site();
  return SellerSpriteScraper({.headless = true,
                              .timeout_ms = 30000,
                              .console = console_or_closed(std::move(console)),
                              .progress = std::move(progress)});
}

SellerSpriteScraper windowed_scraper(std::shared_ptr<Console> console) {
  site();
  return SellerSpriteScraper({.headless = false, .timeout_ms = 30000, .console = console_or_closed(std::move(console))});
}

WindowlessBrowsers::WindowlessBrowsers() {
  const char* chromium = std::getenv("RAVIK_CHROMIUM_PATH");
  if (chromium != nullptr) saved_chromium_path_ = chromium;
  const std::filesystem::path wrapper = temp_root() / "windowless-chromium";
  std::ofstream(wrapper) << "#!/bin/sh\nexec '" << (chromium != nullptr ? chromium : "/usr/bin/chromium")
                         << "' --headless=new \"$@\"\n";
  std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
  ::setenv("RAVIK_CHROMIUM_PATH", wrapper.c_str(), 1);
}

WindowlessBrowsers::~WindowlessBrowsers() {
  if (saved_chromium_path_) {
    ::setenv("RAVIK_CHROMIUM_PATH", saved_chromium_path_->c_str(), 1);
  } else {
    ::unsetenv("RAVIK_CHROMIUM_PATH");
  }
}

void forget_profile() { std::filesystem::remove_all(headless_scraper().profile_dir); }

void log_profile_in() {
  // The default console has no input: a prompt would fail the login instead of waiting.
  run_on_page([](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    co_await scraper._login_with_account(page, demo_account());
    co_return Json();
  });
}

Json run_on_page(const PageFlow& flow) { return run_on_page(headless_scraper(), flow); }

Json run_on_page(const SellerSpriteScraper& scraper, const PageFlow& flow) {
  return run_sync([&](asio::io_context&) {
    return scraper._run_in_page_context([&](playwright::Page page) { return flow(scraper, page); });
  });
}

int browser_process_count() { return static_cast<int>(browser_processes().size()); }

int leftover_browser_processes() {
  int leftover = 0;
  for (const ProcessInfo& process : browser_processes()) {
    if (process.state == 'Z' || !wait_for_exit(process.pid)) ++leftover;
  }
  return leftover;
}

void CollectorTest::SetUp() {
  site().set_switches({});
  site().clear_requests();
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  run_dir = temp_root() / "runs" / (std::string(test->test_suite_name()) + "." + test->name());
  std::filesystem::remove_all(run_dir);
}

void CollectorTest::TearDown() { EXPECT_EQ(leftover_browser_processes(), 0) << "a browser or driver outlived the flow"; }

}  // namespace ravik::seller_sprite_legacy::scraping::testing
