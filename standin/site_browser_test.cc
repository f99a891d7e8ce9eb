// Browser smoke test of the stand-in site: real Chromium, driven through the
// collector's selectors, logs in, searches, sets the phrase length and walks
// a trend drawer; the site's record shows what the page sent.
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "playwright/playwright.h"
#include "ravik/run_sync.h"
#include "standin/site.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kWaitMs{10000};

fs::path make_profile_dir() {
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() / ("standin-browser-" + std::to_string(random()));
  fs::create_directories(dir);
  return dir;
}

// A headless Chromium on a throw-away profile, closed and removed afterwards.
class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override { origin_ = site_.start(); }
  void TearDown() override { fs::remove_all(profile_); }

  // Runs `steps(page)` in a fresh browser; the browser is closed also when
  // the steps fail.
  template <typename Steps>
  void with_page(Steps steps) {
    const std::string profile = profile_.string();
    ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
      playwright::Playwright driver = co_await playwright::async_playwright().start();
      const playwright::LaunchPersistentContextOptions options{
          .user_data_dir = profile, .headless = true, .viewport = playwright::ViewportSize{1440, 900}};
      playwright::BrowserContext context = co_await driver.chromium.launch_persistent_context(options);
      std::exception_ptr failure;
      try {
        playwright::Page page = co_await context.new_page();
        co_await steps(page);
      } catch (...) {
        failure = std::current_exception();
      }
      co_await context.close();
      co_await driver.stop();
      if (failure) std::rethrow_exception(failure);
    });
  }

  Site site_{Switches{.result_rows = 3}};
  std::string origin_;
  fs::path profile_ = make_profile_dir();
};

TEST_F(BrowserTest, LogsInSearchesAndOpensTheTrendDrawerThroughTheCollectorSelectors) {
  with_page([&](playwright::Page& page) -> asio::awaitable<void> {
    const playwright::GotoOptions load{.wait_until = "domcontentloaded"};
    const std::string miner = origin_ + std::string(kKeywordMinerPath);
    co_await page.goto_(miner, load);
    EXPECT_TRUE(co_await page.get_by_text("未登录").first().is_visible());

    const std::string login = origin_ + std::string(kLoginUrlPath);
    co_await page.goto_(login, load);
    const auto password = page.locator("input[type='password']:visible").first();
    co_await password.wait_for({.state = "visible", .timeout = kWaitMs});
    co_await page
        .locator("input[placeholder*='手机号']:visible:not([readonly]):not([disabled]), "
                 "input[placeholder*='邮箱']:visible:not([readonly]):not([disabled])")
        .first()
        .fill(std::string(kDemoUsername));
    co_await password.fill(std::string(kDemoPassword));
    co_await page.locator("button:visible:has-text('登录'), button:visible:has-text('登 录')").first().click();
    co_await page.locator("button:has-text('立即查询')").first().wait_for({.timeout = kWaitMs});
    EXPECT_EQ(page.url(), miner);
    EXPECT_FALSE(co_await page.get_by_text("未登录").first().is_visible());

    const auto option = page.locator(".el-select-dropdown__item:visible");
    co_await page.locator(".el-input-group__prepend .el-select:not(.date-select) .el-input").first().click({kWaitMs});
    co_await option.filter({.has_text = "日本站"}).first().click({kWaitMs});
    co_await page.locator(".el-input-group__prepend .date-select .el-input").first().click({kWaitMs});
    co_await option.filter({.has_text = "最近30天"}).first().click({kWaitMs});
    EXPECT_EQ(co_await option.count(), 0) << "dropdown options stay visible after a choice";
    co_await page.locator("input[placeholder*='输入关键词']").first().fill("yoga mat");
    co_await page.locator("button:has-text('立即查询')").first().click();
    co_await page.locator("label.el-radio:has(input[value='custom'])").first().click({std::chrono::milliseconds(5000)});
    co_await page.locator(".el-input-number input").first().fill("3");
    // Three-word groups show once the re-fetched frequency has arrived.
    co_await page.locator("#frequency-words li:has-text('yoga mat for')").wait_for({.timeout = kWaitMs});

    const auto icons = page.locator(".icon-historical-trend:visible");
    co_await icons.nth(2).wait_for({.timeout = kWaitMs});
    EXPECT_EQ(co_await icons.count(), 3);
    const std::string row = co_await icons.nth(0).locator("xpath=ancestor::tr[1]").inner_text({std::chrono::milliseconds(3000)});
    EXPECT_TRUE(row.starts_with("1\nAC\nyoga mat\n")) << row;

    co_await icons.nth(0).scroll_into_view_if_needed({kWaitMs});
    co_await icons.nth(0).click();
    const auto drawer = page.locator("#search-anlysis-drawer-echarts-trends").first();
    const auto loaded = drawer.locator(".trend-note:has-text('数据来源')");
    co_await loaded.wait_for({.timeout = kWaitMs});
    co_await page.locator(".el-tabs__item:visible").filter({.has_text = "ABA集中度"}).first().click({kWaitMs});
    co_await loaded.wait_for({.timeout = kWaitMs});
    co_await drawer.locator(".close-btn").first().click({kWaitMs});
    co_await drawer.wait_for({.state = "hidden", .timeout = kWaitMs});
  });

  const auto searches = site_.requests_to(kKeywordMinerApi);
  ASSERT_EQ(searches.size(), 1u);
  EXPECT_EQ(searches[0].form->site, "jp");
  EXPECT_EQ(searches[0].form->period, "30d");
  EXPECT_EQ(searches[0].form->keyword, "yoga mat");
  const auto frequencies = site_.requests_to(kKeywordMinerFrequencyApi);
  ASSERT_FALSE(frequencies.empty());
  EXPECT_EQ(frequencies.front().form->phrase_count, 1);
  EXPECT_EQ(frequencies.back().form->phrase_count, 3);
  const auto aba = site_.requests_to("/v3/api/trends/aba");
  ASSERT_EQ(aba.size(), 1u);
  EXPECT_EQ(aba[0].form->keyword, "yoga mat");
}

TEST_F(BrowserTest, NeverIdleNetworkAndGuestState) {
  site_.update_switches([](Switches& s) {
    s.network_never_idle = true;
    s.guest = true;
  });
  with_page([&](playwright::Page& page) -> asio::awaitable<void> {
    const std::string reverse = origin_ + std::string(kKeywordReversePath);
    co_await page.goto_(reverse, {.wait_until = "domcontentloaded"});
    EXPECT_TRUE(co_await page.get_by_text("游客").first().is_visible());
    EXPECT_FALSE(co_await page.get_by_text("未登录").first().is_visible());
    EXPECT_THROW(co_await page.wait_for_load_state("networkidle", {.timeout = std::chrono::milliseconds(1500)}), playwright::TimeoutError);
  });
  EXPECT_GE(site_.requests_to(kHeartbeatApi).size(), 2u);
}

}  // namespace
}  // namespace standin
