// The browser page context: dependency check, profile directory, the page
// handed to the flow, and closing the browser whatever the flow did.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <gtest/gtest.h>

#include "playwright/error.h"
#include "ravik/config.h"
#include "ravik/run_sync.h"
#include "ravik/seller_sprite_legacy/domain/exceptions.h"
#include "ravik/seller_sprite_legacy/scraping/internal/failure_archive.h"
#include "ravik/shared/file_io.h"
#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using testing::CollectorTest;
using testing::headless_scraper;
using testing::run_on_page;

using PageContextTest = CollectorTest;

// Width and height from a PNG's IHDR chunk.
std::pair<int, int> png_size(const std::string& png) {
  auto big_endian = [&](std::size_t at) {
    return (static_cast<unsigned char>(png.at(at)) << 24) | (static_cast<unsigned char>(png.at(at + 1)) << 16) |
           (static_cast<unsigned char>(png.at(at + 2)) << 8) | static_cast<unsigned char>(png.at(at + 3));
  };
  return {big_endian(16), big_endian(20)};
}

TEST_F(PageContextTest, MissingDriverIsADependencyErrorBeforeAnyDirectoryIsMade) {
  testing::forget_profile();
  const SellerSpriteScraper scraper = headless_scraper();
  ::setenv("RAVIK_NODE", (run_dir / "no-such-node").c_str(), 1);
  try {
    (void)scraper.login_status({.options = SellerSpriteCollectOptions{}, .run_id = "r1", .run_dir = run_dir});
    ADD_FAILURE() << "expected SellerSpriteDependencyError";
  } catch (const domain::SellerSpriteDependencyError& error) {
    EXPECT_STREQ(error.what(),
                 "缺少 playwright 依赖，请安装 `pip install ravik` 并执行 `python -m playwright install chromium "
                 "--no-shell`");
    EXPECT_THROW(std::rethrow_if_nested(error), playwright::DriverNotInstalledError);
  }
  ::unsetenv("RAVIK_NODE");
  EXPECT_FALSE(std::filesystem::exists(scraper.profile_dir));
  EXPECT_FALSE(std::filesystem::exists(run_dir));
}

TEST_F(PageContextTest, OpensOnePageOfTheFixedViewportInAnOwnerOnlyProfile) {
  testing::forget_profile();
  const SellerSpriteScraper scraper = headless_scraper();
  const Json seen = run_sync([&](asio::io_context&) -> asio::awaitable<Json> {
    PageContext page_context = scraper._browser_page();
    playwright::Page page = co_await page_context.enter();
    const std::size_t open_pages = page_context.context->pages().size();
    EXPECT_GT(testing::browser_process_count(), 0) << "the process check sees a running browser";
    const auto [width, height] = png_size(co_await page.screenshot());
    struct stat profile {};
    ::stat(scraper.profile_dir.c_str(), &profile);
    co_await page_context.exit();
    co_return Json{{"pages", open_pages}, {"width", width}, {"height", height}, {"mode", profile.st_mode & 0777}};
  });
  EXPECT_EQ(seen["pages"], 1) << "the launch's own page is used, no second one opened";
  EXPECT_EQ(seen["width"], 1440);
  EXPECT_EQ(seen["height"], 900);
  EXPECT_EQ(seen["mode"], 0700);

  // The profile now exists with its contents; a second browser uses it as it is.
  const auto marker = headless_scraper().profile_dir / "kept-by-test";
  std::ofstream(marker) << "x";
  run_on_page([](const SellerSpriteScraper&, playwright::Page) -> asio::awaitable<Json> { co_return Json(); });
  EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST_F(PageContextTest, FailedEnterStopsTheDriverItStarted) {
  testing::forget_profile();
  const std::filesystem::path profile_dir = headless_scraper().profile_dir;
  std::filesystem::create_directories(profile_dir.parent_path());
  std::ofstream(profile_dir) << "a file where the profile directory belongs";
  EXPECT_THROW(
      run_on_page([](const SellerSpriteScraper&, playwright::Page) -> asio::awaitable<Json> { co_return Json(); }),
      std::filesystem::filesystem_error);
  std::filesystem::remove(profile_dir);
  // CollectorTest's TearDown checks that the started driver was stopped.
}

TEST_F(PageContextTest, FlowFailureClosesTheBrowserAndArrivesUnchanged) {
  struct FlowFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };
  EXPECT_THROW(
      {
        try {
          run_on_page([](const SellerSpriteScraper&, playwright::Page page) -> asio::awaitable<Json> {
            co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL());
            throw FlowFailure("flow failed");
          });
        } catch (const FlowFailure& failure) {
          EXPECT_STREQ(failure.what(), "flow failed");
          throw;
        }
      },
      FlowFailure);
  // CollectorTest's TearDown checks that neither browser nor driver is left.
}

// A collector whose flows fail after the page opened keeps the page or not.
SellerSpriteScraper archiving_scraper(bool failure_archive) {
  testing::site();
  return SellerSpriteScraper({.headless = true, .timeout_ms = 30000, .failure_archive = failure_archive});
}

// Opens the keyword-mining page and clicks its query button, giving up after
// two seconds.
asio::awaitable<Json> click_query_button(playwright::Page page) {
  co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL());
  co_await page.locator("button:has-text('立即查询')").first().click({.timeout = std::chrono::milliseconds(2000)});
  co_return Json();
}

// Sends `signal_number` to every Chromium process of the collector's profile.
void signal_browser(const std::filesystem::path& profile_dir, int signal_number) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string command_line;
    try {
      command_line = shared::read_file(entry.path() / "cmdline");
    } catch (const std::system_error&) {
      continue;  // gone meanwhile
    }
    if (command_line.find("--user-data-dir=" + profile_dir.string()) != std::string::npos) {
      ::kill(std::stoi(name), signal_number);
    }
  }
}

TEST_F(PageContextTest, AFailedFlowKeepsThePageOnlyWhenAsked) {
  testing::log_profile_in();
  testing::site().update_switches([](standin::Switches& s) { s.hide_query_button = true; });
  for (const bool failure_archive : {true, false}) {
    SCOPED_TRACE(failure_archive ? "archive on" : "archive off");
    std::filesystem::remove_all(run_dir);
    const SellerSpriteScraper scraper = archiving_scraper(failure_archive);
    std::string message;
    try {
      run_sync([&](asio::io_context&) {
        return scraper._run_in_page_context([](playwright::Page page) { return click_query_button(page); }, run_dir);
      });
      ADD_FAILURE() << "the click found a button";
    } catch (const playwright::TimeoutError& error) {
      message = error.what();
    }
    EXPECT_NE(message.find("Locator.click"), std::string::npos) << message;
    const std::filesystem::path failure = run_dir / "failure";
    if (!failure_archive) {
      EXPECT_FALSE(std::filesystem::exists(failure));
      continue;
    }
    EXPECT_NE(shared::read_file(failure / "page.html").find("关键词挖掘"), std::string::npos);
    EXPECT_EQ(shared::read_file(failure / "page.png").substr(1, 3), "PNG");
    EXPECT_EQ(shared::read_file(failure / "error.txt"), "错误：" + message + "\n");
  }
}

TEST_F(PageContextTest, AFlowWhoseBrowserDiedFailsWithItsOwnErrorAndAnArchiveThatSaysSo) {
  struct FlowFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };
  const SellerSpriteScraper scraper = archiving_scraper(true);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(run_sync([&](asio::io_context&) {
                 return scraper._run_in_page_context(
                     [&](playwright::Page page) -> asio::awaitable<Json> {
                       co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL());
                       signal_browser(scraper.profile_dir, SIGKILL);
                       throw FlowFailure("the browser went away");
                     },
                     run_dir);
               }),
               FlowFailure);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60)) << "does not hang";
  const std::string error_text = shared::read_file(run_dir / "failure" / "error.txt");
  EXPECT_EQ(error_text.rfind("错误：the browser went away\n页面现场未能完整保存：\n", 0), 0u) << error_text;
  EXPECT_FALSE(std::filesystem::exists(run_dir / "failure" / "page.html"));
  // CollectorTest's TearDown checks that neither browser nor driver is left.
}

TEST_F(PageContextTest, AnArchiveOfABrowserThatNoLongerAnswersEndsWithinItsBudget) {
  struct FlowFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };
  const SellerSpriteScraper scraper = archiving_scraper(true);
  std::filesystem::file_time_type thrown_at;
  EXPECT_THROW(run_sync([&](asio::io_context&) {
                 return scraper._run_in_page_context(
                     [&](playwright::Page page) -> asio::awaitable<Json> {
                       co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL());
                       // Stopped, the browser answers nothing until it is continued,
                       // well after the archive's budget, so that it can be closed.
                       signal_browser(scraper.profile_dir, SIGSTOP);
                       auto resume = std::make_shared<asio::steady_timer>(co_await asio::this_coro::executor,
                                                                          kFailureArchiveBudget * 2);
                       resume->async_wait([resume, profile_dir = scraper.profile_dir](const asio::error_code&) {
                         signal_browser(profile_dir, SIGCONT);
                       });
                       thrown_at = std::filesystem::file_time_type::clock::now();
                       throw FlowFailure("the browser stopped answering");
                     },
                     run_dir);
               }),
               FlowFailure);
  EXPECT_EQ(shared::read_file(run_dir / "failure" / "error.txt"),
            "错误：the browser stopped answering\n页面现场未能完整保存：\n  浏览器未在 5 秒内响应\n");
  EXPECT_LT(std::filesystem::last_write_time(run_dir / "failure" / "error.txt") - thrown_at, kFailureArchiveBudget * 2)
      << "written before the browser was continued";
}

TEST_F(PageContextTest, TraceIsKeptOnFailureAndNeverReplacesTheFlowsFailure) {
  struct FlowFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };
  testing::site();  // the stand-in's origin and a private CONFIG_DIR
  const std::filesystem::path traces = config::CONFIG_DIR() / "traces";
  std::filesystem::create_directories(traces);
  std::ofstream(traces / "a-file") << "not a directory";
  struct Case {
    const char* name;
    std::filesystem::path trace;
    bool saved;
  };
  const Case cases[] = {
      {"saved", traces / "trace.zip", true},
      {"cannot be saved", traces / "a-file" / "trace.zip", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SellerSpriteScraper scraper({.headless = true, .timeout_ms = 30000, .trace_path = c.trace});
    try {
      run_on_page(scraper, [](const SellerSpriteScraper&, playwright::Page page) -> asio::awaitable<Json> {
        co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL());
        throw FlowFailure("flow failed");
      });
      ADD_FAILURE() << "the flow's failure did not arrive";
    } catch (const FlowFailure& failure) {
      EXPECT_STREQ(failure.what(), "flow failed");
    }
    EXPECT_EQ(std::filesystem::is_regular_file(c.trace), c.saved);
  }
  // CollectorTest's TearDown checks that neither browser nor driver is left.
}

TEST_F(PageContextTest, ASecondBrowserOnTheProfileIsRefusedAndTheFirstRunsOn) {
  testing::log_profile_in();
  const SellerSpriteScraper scraper = headless_scraper();
  SellerSpriteCollectOptions options;
  options.keyword = "yoga mat";
  const Json seen = run_sync([&](asio::io_context&) -> asio::awaitable<Json> {
    PageContext first = scraper._browser_page();
    playwright::Page page = co_await first.enter();
    Json seen = Json::object();
    try {
      PageContext second = scraper._browser_page();
      co_await second.enter();
      ADD_FAILURE() << "a second browser opened the profile";
    } catch (const ProfileInUseError& error) {
      seen["message"] = error.what();
      try {
        std::rethrow_if_nested(error);
      } catch (const playwright::Error& cause) {
        seen["cause"] = cause.what();
      }
    }
    const PageCollectArgs collect{.options = options, .run_dir = run_dir, .account = std::nullopt};
    const Json result = co_await scraper._collect_all_sections_with_page(page, collect);
    seen["missing_sections"] = result["missing_sections"];
    seen["frequency"] = !result["frequency"].is_null();
    co_await first.exit();
    co_return seen;
  });
  const std::string message = seen.value("message", "");
  EXPECT_NE(message.find(scraper.profile_dir.string()), std::string::npos) << message;
  EXPECT_NE(message.find("另一个运行中的任务"), std::string::npos) << message;
  EXPECT_NE(message.find("RAVIK_CONFIG_DIR"), std::string::npos) << message;
  EXPECT_NE(seen.value("cause", "").find("ProcessSingleton"), std::string::npos) << "Chromium's report is nested";
  EXPECT_EQ(seen["missing_sections"], Json::array()) << "the first run completed its collection";
  EXPECT_EQ(seen["frequency"], true);
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
