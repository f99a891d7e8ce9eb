// The browser page context and the collector's steps that obtain and run it.
#include "ravik/seller_sprite_legacy/scraping/page_context.h"

#include <cerrno>
#include <exception>
#include <system_error>

#include <sys/stat.h>

#include "playwright/run_then.h"
#include "ravik/seller_sprite_legacy/domain/exceptions.h"
#include "ravik/seller_sprite_legacy/scraping/internal/failure_archive.h"
#include "ravik/seller_sprite_legacy/scraping/internal/profile_preferences.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr const char* kMissingPlaywrightMessage =
    "缺少 playwright 依赖，请安装 `pip install ravik` 并执行 `python -m playwright install chromium --no-shell`";

// Creates `dir` with its missing parents; `dir` itself is made owner-only
// (0700) because it holds the site's session cookies. An existing directory
// is used as it is.
void create_profile_dir(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir.parent_path());
  if (::mkdir(dir.c_str(), 0700) != 0 && !(errno == EEXIST && std::filesystem::is_directory(dir))) {
    throw std::filesystem::filesystem_error("无法创建浏览器配置目录", dir,
                                            std::error_code(errno, std::generic_category()));
  }
}

// True when Chromium refused to start because another browser holds the
// profile directory (Chromium's and the driver's own wordings).
bool is_profile_in_use(const playwright::Error& error) {
  const std::string_view message = error.what();
  return message.find("ProcessSingleton") != std::string_view::npos ||
         message.find("profile is already in use") != std::string_view::npos;
}

}  // namespace

ProfileInUseError::ProfileInUseError(const std::filesystem::path& profile_dir)
    : std::runtime_error("浏览器配置目录 " + profile_dir.string() +
                         " 正被另一个运行中的任务使用；请等它结束后再试，或设置另一个 RAVIK_CONFIG_DIR") {}

playwright::LaunchPersistentContextOptions browser_launch_options(const SellerSpriteScraper& outer) {
  return playwright::LaunchPersistentContextOptions{
      .user_data_dir = outer.profile_dir.native(),
      .headless = outer.headless,
      .channel = "chromium",
      .viewport = playwright::ViewportSize{.width = 1440, .height = 900},
      .locale = "zh-CN",
  };
}

PageContext::PageContext(const SellerSpriteScraper& outer, PlaywrightEntry entry) : outer(&outer), entry_(entry) {}

asio::awaitable<playwright::Page> PageContext::enter() {
  playwright.emplace(co_await entry_().start());
  // Whatever was started is released again; the enter failure is the one
  // that counts.
  co_return co_await playwright::undo_on_failure([this] { return open_page(); }, [this] { return exit(); });
}

asio::awaitable<playwright::Page> PageContext::open_page() {
  create_profile_dir(outer->profile_dir);
  turn_off_browser_offers(outer->profile_dir);
  const playwright::LaunchPersistentContextOptions launch = browser_launch_options(*outer);
  try {
    context.emplace(co_await playwright->chromium.launch_persistent_context(launch));
  } catch (const playwright::Error& error) {
    if (is_profile_in_use(error)) std::throw_with_nested(ProfileInUseError(outer->profile_dir));
    throw;
  }
  if (outer->trace_path) {
    const playwright::TracingStartOptions tracing{.screenshots = true, .snapshots = true};
    co_await context->tracing().start(tracing);
  }
  std::vector<playwright::Page> open_pages = context->pages();
  if (open_pages.empty()) {
    page.emplace(co_await context->new_page());
  } else {
    page.emplace(open_pages.front());
  }
  co_return *page;
}

asio::awaitable<void> PageContext::exit() {
  co_await playwright::run_then([this] { return close_context(); }, [this] { return stop_driver(); });
}

asio::awaitable<void> PageContext::close_context() {
  if (!context) co_return;
  co_await save_trace();
  co_await context->close();
}

asio::awaitable<void> PageContext::save_trace() {
  if (!outer->trace_path) co_return;
  try {
    co_await context->tracing().stop(*outer->trace_path);
  } catch (const playwright::Error&) {
    // Dropped on purpose; see the header.
  }
}

asio::awaitable<void> PageContext::stop_driver() {
  if (playwright) co_await playwright->stop();
}

PlaywrightEntry SellerSpriteScraper::_load_playwright() {
  try {
    playwright::locate_driver();
  } catch (const playwright::DriverNotInstalledError&) {
    std::throw_with_nested(domain::SellerSpriteDependencyError(kMissingPlaywrightMessage));
  }
  return &playwright::async_playwright;
}

PageContext SellerSpriteScraper::_browser_page() const {
  sellersprite_origin();  // a refused origin setting fails here, before anything starts
  return PageContext(*this, _load_playwright());
}

asio::awaitable<Json> SellerSpriteScraper::_run_in_page_context(
    std::function<asio::awaitable<Json>(playwright::Page)> flow, std::optional<std::filesystem::path> run_dir) const {
  PageContext page_context = _browser_page();
  _report_progress({.stage = ProgressStage::starting_browser});
  playwright::Page page = co_await page_context.enter();
  const bool archive_on_failure = failure_archive && run_dir.has_value();
  // The page is archived while the browser is still open; the flow's own
  // failure reaches the caller, even when archiving or closing fails too.
  auto flow_archived_on_failure = [&]() -> asio::awaitable<Json> {
    std::exception_ptr failure;
    try {
      co_return co_await flow(page);
    } catch (...) {
      failure = std::current_exception();
    }
    if (archive_on_failure) co_await archive_failure(page, *run_dir, failure);
    std::rethrow_exception(failure);
  };
  auto close = [&] {
    _report_progress({.stage = ProgressStage::closing_browser});
    return page_context.exit();
  };
  co_return co_await playwright::run_then(flow_archived_on_failure, close);
}

}  // namespace ravik::seller_sprite_legacy::scraping
