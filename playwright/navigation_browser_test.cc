// Navigation, load states, page content and screenshots against pages served
// on 127.0.0.1.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "playwright/browser_test_support.h"

namespace playwright {
namespace {

using testing::new_shared_page;
using testing::run;

const std::string kPngSignature = "\x89PNG\r\n\x1a\n";

class NavigationTest : public ::testing::Test {
 protected:
  testing::TestServer server;
  Page page = new_shared_page();
};

TEST_F(NavigationTest, GotoAnswersTheDocumentResponseAndUrlFollowsLaterNavigations) {
  server.page("/first", "<a id=\"next\" href=\"/second\">下一页</a>");
  server.page("/second", "<p>第二页</p>");
  run([&]() -> asio::awaitable<void> {
    const std::optional<Response> response = co_await page.goto_(server.url("/first"));
    EXPECT_TRUE(response.has_value());
    EXPECT_EQ(response->status(), 200);
    EXPECT_EQ(response->url(), server.url("/first"));
    EXPECT_EQ(response->resource_type(), "document");
    EXPECT_EQ(page.url(), server.url("/first"));

    // A navigation the page starts itself reaches url() through events alone.
    co_await page.locator("#next").click();
    co_await page.wait_for_load_state("load");
    EXPECT_EQ(page.url(), server.url("/second"));
    EXPECT_EQ(co_await page.locator("p").inner_text(), "第二页");
  });
}

TEST_F(NavigationTest, LoadStatesAreAwaitedAndTimeOutWhileASubresourceHangs) {
  server.page("/slow", "<p>正文</p><img src=\"/hold\">");
  run([&]() -> asio::awaitable<void> {
    const GotoOptions commit_only{.wait_until = "commit"};
    co_await page.goto_(server.url("/slow"), commit_only);
    co_await page.wait_for_load_state("domcontentloaded");
    EXPECT_EQ(co_await page.locator("p").count(), 1);

    bool timed_out = false;
    try {
      co_await page.wait_for_load_state("load", {.timeout = std::chrono::milliseconds(300)});
    } catch (const TimeoutError& e) {
      timed_out = true;
      EXPECT_STREQ(e.what(), "Page.wait_for_load_state: Timeout 300ms exceeded.");
    }
    EXPECT_TRUE(timed_out);

    server.release_held();
    co_await page.wait_for_load_state("load");
    co_await page.wait_for_load_state("networkidle");
  });
}

TEST_F(NavigationTest, GotoTimesOutAndRejectsUnknownLoadStates) {
  run([&]() -> asio::awaitable<void> {
    const GotoOptions short_wait{.timeout = std::chrono::milliseconds(300)};
    EXPECT_THROW(co_await page.goto_(server.url("/hold"), short_wait), TimeoutError);
    server.release_held();

    const GotoOptions bad_state{.wait_until = "idle"};
    try {
      co_await page.goto_(server.url("/page/plain"), bad_state);
      ADD_FAILURE() << "an unknown wait_until was accepted";
    } catch (const TimeoutError&) {
      ADD_FAILURE() << "reported as a time-out";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Page.goto: wait_until: expected one of (load|domcontentloaded|networkidle|commit)");
    }
    EXPECT_THROW(co_await page.wait_for_load_state("loaded"), Error);
  });
}

TEST_F(NavigationTest, ContentScreenshotAndPause) {
  server.page("/content", "<h1>标题</h1>");
  const testing::TempDir temp;
  const std::filesystem::path& dir = temp.path();
  run([&]() -> asio::awaitable<void> {
    co_await page.goto_(server.url("/content"));
    const std::string html = co_await page.content();
    EXPECT_NE(html.find("<h1>标题</h1>"), std::string::npos);

    co_await page.wait_for_timeout(std::chrono::milliseconds(50));

    ScreenshotOptions options;
    options.path = dir / "shots" / "page.png";
    options.full_page = true;
    const std::string png = co_await page.screenshot(options);
    EXPECT_EQ(png.substr(0, 8), kPngSignature);
    std::ifstream written(*options.path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), png);
    EXPECT_FALSE(std::filesystem::exists(dir / "shots" / "page.png.part"));
  });
}

}  // namespace
}  // namespace playwright
